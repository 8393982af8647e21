#pragma once
// One running instance per user: a later start hands its parameters to the running one over a
// local socket named after the window class, in a folder only this user can enter.
//
// Wire form, little-endian: a request is kind (1 parameters, 2 restore), id and length, each 32
// bits, then length bytes; parameters are a block of NUL-terminated strings ended by an empty
// one. Every request is answered with a 32-bit result, 1 when accepted.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QStringList>

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>

class QLocalServer;
class QLocalSocket;

class TSingleInst : public QObject {
    Q_OBJECT
public:
    // Requests larger than this are refused unread.
    static constexpr uint32_t kMaxBlockBytes = 64 * 1024;
    // How long a later start waits for the running instance to answer.
    static constexpr int kHandOffWaitMs = 10000;

    // runtimeFolder: where the socket lives (empty: DefaultRuntimeFolder()); allowedPeer: the
    // one user whose requests are accepted.
    explicit TSingleInst(std::string runtimeFolder = {}, uid_t allowedPeer = ::getuid(), QObject* parent = nullptr);
    ~TSingleInst() override;

    std::function<void(const QString&)> OnParam;
    std::function<void()> OnAllParamsCached;

    virtual std::string WindowClassName() const { return "SingleInst.MainWdw"; }
    virtual uint32_t CopyDataId() const { return 0; }

    // False when a running instance took over this start's parameters, or did not answer in
    // time (HandOffTimedOut tells).
    virtual bool CanStartApp(const QStringList& params);
    bool HandOffTimedOut() const { return timedOut_; }
    // What a later start hands over: empty parameters dropped, and paths of existing files made
    // absolute here, since the running instance has a folder of its own.
    static QStringList HandOffParams(const QStringList& params);
    // Connects socket to the running instance; False when there is none.
    virtual bool FindPrevInstanceWindow(QLocalSocket& socket) const;
    // Sends the parameters; True when the running instance answered 1. Usable from any thread.
    virtual bool SendParamsToPrevInstance(QLocalSocket& socket, const QStringList& params);
    // Parameters (if any) then the restore request; True when the hand-off was accepted.
    bool SendParamsAndRestore(QLocalSocket& socket, const QStringList& params);
    // Hands parameters to the listening instance while this one runs; True when it took them.
    bool HandToListeningInstance(const QStringList& params);

    // Starts answering later starts; False when the socket cannot be made.
    bool Listen();
    bool IsListening() const;

    // The socket's full path; empty when the folder is not private to this user.
    std::string ServerPath() const;
    // $XDG_RUNTIME_DIR, else the per-user temporary folder.
    static std::string DefaultRuntimeFolder();

    static QByteArray BuildParamBlock(const QStringList& params);
    // Each NUL-terminated string up to the empty one, never beyond the block.
    static QStringList ParseParamBlock(const QByteArray& block);

protected:
    // The base brings the main window to the front, restoring it when minimised.
    virtual void EnsureRestore();
    // A parameter block that came with our id.
    void ReceiveParams(const QByteArray& block);

private:
    struct TConnection;
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket, TConnection& connection);
    // Sends one request and waits for its answer until the hand-off's deadline; sets timedOut_.
    int32_t Request(QLocalSocket& socket, uint32_t kind, uint32_t id, const QByteArray& data);

    std::string runtimeFolder_;
    uid_t allowedPeer_;
    QLocalServer* server_ = nullptr;
    bool timedOut_ = false;
    QDeadlineTimer deadline_;
};
