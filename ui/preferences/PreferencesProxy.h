#pragma once
// One proxy preference page (HTTP or FTP): the setting is stored at every change and handed,
// checked and trimmed, to every job start.
#include <QFrame>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
struct TProxyServerInfo;

enum TProxyKind : int { pkHTTP = 0, pkFTP = 1 };

class TPreferencesProxyFrame : public QFrame {
    Q_OBJECT
public:
    explicit TPreferencesProxyFrame(QWidget* parent = nullptr);

    // 0 selects [HTTPProxy], 1 [FTPProxy]; other values change nothing.
    void SetProxyKind(int kind);
    const std::string& Section() const { return section_; }

    void LoadProxyPreferences();
    // With the proxy on: no address or a port that is not a number turns it off; a user name
    // without a password (or the reverse) is emptied. Changes are stored and shown.
    void ValidateProxySettings();
    // Validates, then fills info from the page.
    void GetProxyServerInfo(TProxyServerInfo& info);
    void UpdateLanguageLabels();

    QCheckBox* UseProxyServer() const { return useProxyServer_; }
    QLineEdit* Address() const { return address_; }
    QLineEdit* Port() const { return port_; }
    QLineEdit* Username() const { return username_; }
    QLineEdit* Password() const { return password_; }
    QCheckBox* AllowLocalProxyBypass() const { return allowLocalProxyBypass_; }

private:
    void UseProxyServerClick();
    // Stores the state of box under key unless the page is loading.
    void SaveBox(const char* key, const QCheckBox* box);

    bool saveEnabled_ = true;
    std::string section_;
    QCheckBox* useProxyServer_;
    QLabel* addressLabel_;
    QLabel* portLabel_;
    QLabel* usernameLabel_;
    QLabel* passwordLabel_;
    QLineEdit* address_;
    QLineEdit* port_;
    QLineEdit* username_;
    QLineEdit* password_;
    QCheckBox* allowLocalProxyBypass_;
};
