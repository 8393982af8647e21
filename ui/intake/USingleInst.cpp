#include "ui/intake/USingleInst.h"

#include "engine/services/AppTraceLog.h"
#include "engine/services/SavedOptions.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

const char* const kUnit = "USingleInst";
constexpr uint32_t kKindParams = 1;
constexpr uint32_t kKindRestore = 2;
constexpr int kHeaderBytes = 12;
// A peer that connects and sends nothing whole within this time is dropped.
constexpr int kIdleLimitMs = 10000;

void PutU32(QByteArray& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xff));
}

uint32_t GetU32(const char* p)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

// A folder owned by this user that nobody else may enter or write.
bool IsPrivateFolder(const std::string& folder)
{
    struct stat st {};
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

bool PeerIs(const QLocalSocket& socket, uid_t uid)
{
    struct ucred cred {};
    socklen_t len = sizeof(cred);
    const int fd = static_cast<int>(socket.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == uid;
}

}  // namespace

struct TSingleInst::TConnection {
    QByteArray buffer;
    QTimer* idle = nullptr;
    bool busy = false;    // a request is being worked off (message boxes may run event loops)
    bool closed = false;  // the peer left meanwhile: the socket goes once the request is done
};

TSingleInst::TSingleInst(std::string runtimeFolder, uid_t allowedPeer, QObject* parent)
    : QObject(parent), runtimeFolder_(std::move(runtimeFolder)), allowedPeer_(allowedPeer)
{
    if (runtimeFolder_.empty())
        runtimeFolder_ = DefaultRuntimeFolder();
    while (runtimeFolder_.size() > 1 && runtimeFolder_.back() == '/')
        runtimeFolder_.pop_back();
}

TSingleInst::~TSingleInst()
{
    if (server_)
        server_->close();
}

std::string TSingleInst::DefaultRuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && IsPrivateFolder(runtime))
        return runtime;
    return PrivateTempFolder();
}

std::string TSingleInst::ServerPath() const
{
    if (!IsPrivateFolder(runtimeFolder_))
        return std::string();
    return runtimeFolder_ + "/" + WindowClassName();
}

QByteArray TSingleInst::BuildParamBlock(const QStringList& params)
{
    QByteArray block;
    for (const QString& param : params) {
        if (param.isEmpty())
            continue;  // it would end the block
        block.append(param.toUtf8());
        block.append('\0');
    }
    block.append('\0');
    return block;
}

QStringList TSingleInst::ParseParamBlock(const QByteArray& block)
{
    QStringList params;
    qsizetype start = 0;
    while (start < block.size()) {
        const qsizetype end = block.indexOf('\0', start);
        if (end < 0 || end == start)
            break;  // unterminated, or the empty string that ends the block
        params.append(QString::fromUtf8(block.constData() + start, end - start));
        start = end + 1;
    }
    return params;
}

int32_t TSingleInst::Request(QLocalSocket& socket, uint32_t kind, uint32_t id, const QByteArray& data)
{
    QByteArray message;
    PutU32(message, kind);
    PutU32(message, id);
    PutU32(message, static_cast<uint32_t>(data.size()));
    message.append(data);
    socket.write(message);
    auto wait = [&](bool (QLocalSocket::*step)(int)) {
        const int left = static_cast<int>(deadline_.remainingTime());
        if (left > 0 && (socket.*step)(left))
            return true;
        if (deadline_.hasExpired())
            timedOut_ = true;
        return false;
    };
    while (socket.bytesToWrite() > 0)
        if (!wait(&QLocalSocket::waitForBytesWritten))
            return 0;
    while (socket.bytesAvailable() < 4)
        if (!wait(&QLocalSocket::waitForReadyRead))
            return 0;
    char answer[4];
    if (socket.read(answer, 4) != 4)
        return 0;
    return static_cast<int32_t>(GetU32(answer));
}

QStringList TSingleInst::HandOffParams(const QStringList& params)
{
    QStringList out;
    for (const QString& param : params) {
        if (param.trimmed().isEmpty())
            continue;
        const QFileInfo file(param);
        out.append(file.isRelative() && file.isFile() ? file.absoluteFilePath() : param);
    }
    return out;
}

bool TSingleInst::FindPrevInstanceWindow(QLocalSocket& socket) const
{
    const std::string path = ServerPath();
    if (path.empty())
        return false;
    socket.connectToServer(QString::fromStdString(path));
    return socket.waitForConnected(2000);
}

bool TSingleInst::SendParamsToPrevInstance(QLocalSocket& socket, const QStringList& params)
{
    const QByteArray block = BuildParamBlock(params);
    if (static_cast<size_t>(block.size()) > kMaxBlockBytes)
        return false;
    return Request(socket, kKindParams, CopyDataId(), block) == 1;
}

bool TSingleInst::SendParamsAndRestore(QLocalSocket& socket, const QStringList& params)
{
    timedOut_ = false;
    deadline_ = QDeadlineTimer(kHandOffWaitMs);
    const bool handedOff = params.isEmpty() || SendParamsToPrevInstance(socket, params);
    if (handedOff && !timedOut_)
        Request(socket, kKindRestore, 0, QByteArray());
    return handedOff;
}

bool TSingleInst::HandToListeningInstance(const QStringList& params)
{
    QLocalSocket socket;
    return FindPrevInstanceWindow(socket) && SendParamsAndRestore(socket, params) && !timedOut_;
}

bool TSingleInst::CanStartApp(const QStringList& params)
{
    timedOut_ = false;
    QLocalSocket socket;
    if (!FindPrevInstanceWindow(socket))
        return true;
    const bool handedOff = SendParamsAndRestore(socket, HandOffParams(params));
    return !handedOff && !timedOut_;
}

bool TSingleInst::IsListening() const
{
    return server_ && server_->isListening();
}

bool TSingleInst::Listen()
{
    const std::string path = ServerPath();
    if (path.empty()) {
        LogEvent(etWarning, "No private runtime folder for " + runtimeFolder_, "Listen", kUnit);
        return false;
    }
    if (!server_) {
        // No socket options: with them the socket is made elsewhere and renamed over a live one.
        // The folder is private already.
        server_ = new QLocalServer(this);
        connect(server_, &QLocalServer::newConnection, this, &TSingleInst::OnNewConnection);
    }
    const QString name = QString::fromStdString(path);
    if (server_->listen(name))
        return true;
    if (server_->serverError() == QAbstractSocket::AddressInUseError) {
        // A socket left by an instance that ended without closing it: taken over only when
        // nobody answers on it.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(1000))
            return false;
        QLocalServer::removeServer(name);
        if (server_->listen(name))
            return true;
    }
    LogEvent(etWarning, "Cannot listen on " + path + ": " + server_->errorString().toStdString(), "Listen", kUnit);
    return false;
}

void TSingleInst::OnNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (!PeerIs(*socket, allowedPeer_)) {
            LogEvent(etWarning, "Hand-off from another user refused", "OnNewConnection", kUnit);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto connection = std::make_shared<TConnection>();
        connection->idle = new QTimer(socket);
        connection->idle->setSingleShot(true);
        connect(connection->idle, &QTimer::timeout, socket, &QLocalSocket::abort);
        connection->idle->start(kIdleLimitMs);
        // Never deleted while a request of it is being worked off: its signal is still on the stack.
        connect(socket, &QLocalSocket::disconnected, socket, [socket, connection] {
            if (connection->busy)
                connection->closed = true;
            else
                socket->deleteLater();
        });
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, connection] { OnReadyRead(socket, *connection); });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket, *connection);
    }
}

void TSingleInst::OnReadyRead(QLocalSocket* socket, TConnection& connection)
{
    if (connection.busy)
        return;  // a nested event loop of the request being worked off; taken up after it
    QPointer<QLocalSocket> alive(socket);
    connection.busy = true;
    for (;;) {
        connection.buffer.append(socket->readAll());
        if (connection.buffer.size() < kHeaderBytes)
            break;
        const uint32_t kind = GetU32(connection.buffer.constData());
        const uint32_t id = GetU32(connection.buffer.constData() + 4);
        const uint32_t length = GetU32(connection.buffer.constData() + 8);
        if (length > kMaxBlockBytes || (kind != kKindParams && kind != kKindRestore)) {
            LogEvent(etWarning, "Oversized or unknown hand-off refused", "OnReadyRead", kUnit);
            QByteArray answer;
            PutU32(answer, 0);
            socket->write(answer);
            socket->flush();
            socket->disconnectFromServer();
            break;
        }
        if (static_cast<uint32_t>(connection.buffer.size()) < kHeaderBytes + length)
            break;
        const QByteArray data = connection.buffer.mid(kHeaderBytes, length);
        connection.buffer.remove(0, kHeaderBytes + length);
        connection.idle->stop();
        int32_t result = 0;
        if (kind == kKindParams) {
            if (id == CopyDataId()) {
                ReceiveParams(data);
                result = 1;
            }
        } else {
            EnsureRestore();
            result = 1;
        }
        if (!alive)
            return;
        if (connection.closed)
            break;
        QByteArray answer;
        PutU32(answer, static_cast<uint32_t>(result));
        socket->write(answer);
        socket->flush();
        connection.idle->start(kIdleLimitMs);
    }
    connection.busy = false;
    if (connection.closed || socket->state() == QLocalSocket::UnconnectedState)
        socket->deleteLater();
}

void TSingleInst::ReceiveParams(const QByteArray& block)
{
    for (const QString& param : ParseParamBlock(block))
        if (OnParam)
            OnParam(param);
    if (OnAllParamsCached)
        OnAllParamsCached();
}

void TSingleInst::EnsureRestore()
{
    QWidget* main = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && w->isVisible() && !main)
            main = w;
    if (!main)
        return;
    if (main->isMinimized())
        main->showNormal();
    main->show();
    main->raise();
    main->activateWindow();
}
