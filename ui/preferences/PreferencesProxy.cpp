#include "ui/preferences/PreferencesProxy.h"

#include "engine/job/DownloadOptionTypes.h"
#include "platform/IniFile.h"
#include "platform/TextUtils.h"
#include "ui/common/UISettings.h"
#include "ui/common/UIStrings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <limits>

namespace {

std::string Trimmed(const QLineEdit* edit)
{
    return TrimText(StdStr(edit->text()));
}

// The port text as a number, or false when it is not a whole number in range.
bool PortNumber(const std::string& text, int32_t& port)
{
    int64_t value = 0;
    if (!TIniFile::ParseInteger(text, value) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        return false;
    port = static_cast<int32_t>(value);
    return true;
}

}  // namespace

TPreferencesProxyFrame::TPreferencesProxyFrame(QWidget* parent)
    : QFrame(parent),
      useProxyServer_(new QCheckBox(this)),
      addressLabel_(new QLabel(this)),
      portLabel_(new QLabel(this)),
      usernameLabel_(new QLabel(this)),
      passwordLabel_(new QLabel(this)),
      address_(new QLineEdit(this)),
      port_(new QLineEdit(this)),
      username_(new QLineEdit(this)),
      password_(new QLineEdit(this)),
      allowLocalProxyBypass_(new QCheckBox(this))
{
    // Shown as dots: the page is often on screen while others watch.
    password_->setEchoMode(QLineEdit::Password);
    auto* grid = new QGridLayout;
    grid->addWidget(addressLabel_, 0, 0);
    grid->addWidget(address_, 0, 1);
    grid->addWidget(portLabel_, 0, 2);
    grid->addWidget(port_, 0, 3);
    grid->addWidget(usernameLabel_, 1, 0);
    grid->addWidget(username_, 1, 1, 1, 3);
    grid->addWidget(passwordLabel_, 2, 0);
    grid->addWidget(password_, 2, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    port_->setMaximumWidth(80);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(useProxyServer_);
    layout->addLayout(grid);
    layout->addWidget(allowLocalProxyBypass_);
    layout->addStretch(1);
    for (QWidget* w : {static_cast<QWidget*>(address_), static_cast<QWidget*>(port_),
                       static_cast<QWidget*>(username_), static_cast<QWidget*>(password_),
                       static_cast<QWidget*>(allowLocalProxyBypass_)})
        w->setEnabled(false);

    connect(useProxyServer_, &QCheckBox::toggled, this, &TPreferencesProxyFrame::UseProxyServerClick);
    for (auto [edit, key] : {std::pair{address_, "Address"}, std::pair{port_, "Port"},
                             std::pair{username_, "Username"}, std::pair{password_, "Password"}})
        connect(edit, &QLineEdit::textChanged, this, [this, edit = edit, key = key] {
            if (saveEnabled_ && !section_.empty())
                WriteSettingString(section_, key, StdStr(edit->text()));
        });
    connect(allowLocalProxyBypass_, &QCheckBox::toggled, this,
            [this] { SaveBox("AllowLocalBypass", allowLocalProxyBypass_); });
}

void TPreferencesProxyFrame::SetProxyKind(int kind)
{
    if (kind == pkHTTP)
        section_ = "HTTPProxy";
    else if (kind == pkFTP)
        section_ = "FTPProxy";
}

void TPreferencesProxyFrame::LoadProxyPreferences()
{
    saveEnabled_ = false;
    try {
        useProxyServer_->setChecked(ReadSettingBool(section_, "UseProxyServer", false));
        UseProxyServerClick();  // the enabling also when the state did not change
        const std::pair<QLineEdit*, const char*> edits[] = {
            {address_, "Address"}, {port_, "Port"}, {username_, "Username"}, {password_, "Password"}};
        for (const auto& [edit, key] : edits)
            edit->setText(QStr(TrimText(ReadSettingString(section_, key, ""))));
        allowLocalProxyBypass_->setChecked(ReadSettingBool(section_, "AllowLocalBypass", false));
    } catch (...) {
        saveEnabled_ = true;
        throw;
    }
    saveEnabled_ = true;
}

void TPreferencesProxyFrame::SaveBox(const char* key, const QCheckBox* box)
{
    // Only the key of the control that changed: another instance may have changed the others.
    if (saveEnabled_ && !section_.empty())
        WriteSettingBool(section_, key, box->isChecked());
}

void TPreferencesProxyFrame::UseProxyServerClick()
{
    const bool on = useProxyServer_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(address_), static_cast<QWidget*>(port_),
                       static_cast<QWidget*>(username_), static_cast<QWidget*>(password_),
                       static_cast<QWidget*>(allowLocalProxyBypass_)})
        w->setEnabled(on);
    SaveBox("UseProxyServer", useProxyServer_);
}

void TPreferencesProxyFrame::ValidateProxySettings()
{
    if (!useProxyServer_->isChecked())
        return;
    // A port the network cannot use counts as no port.
    int32_t port = 0;
    if (Trimmed(address_).empty() || !PortNumber(StdStr(port_->text()), port) || port < 1 || port > 65535)
        useProxyServer_->setChecked(false);
    if (!Trimmed(username_).empty() && Trimmed(password_).empty())
        username_->clear();
    if (!Trimmed(password_).empty() && Trimmed(username_).empty())
        password_->clear();
}

void TPreferencesProxyFrame::GetProxyServerInfo(TProxyServerInfo& info)
{
    ValidateProxySettings();
    info.UseProxyServer = useProxyServer_->isChecked();
    info.Address = Trimmed(address_);
    int32_t port = 0;
    info.Port = PortNumber(StdStr(port_->text()), port) ? port : 0;
    info.Username = Trimmed(username_);
    info.Password = Trimmed(password_);
    info.BypassList.clear();
}

void TPreferencesProxyFrame::UpdateLanguageLabels()
{
    useProxyServer_->setText(QUIString(313));
    addressLabel_->setText(QUIString(314));
    portLabel_->setText(QUIString(315));
    usernameLabel_->setText(QUIString(305));
    passwordLabel_->setText(QUIString(307));
    allowLocalProxyBypass_->setText(QUIString(316));
    ApplyLanguageFont(this);
}
