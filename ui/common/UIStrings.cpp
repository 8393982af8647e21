#include "ui/common/UIStrings.h"

#include "engine/services/LanguageStrings.h"

#include <QFont>
#include <QWidget>

#include <charconv>

namespace {

std::string ExpandLineBreaks(std::string text)
{
    static const std::string seq = "\\r\\n";
    for (size_t pos = text.find(seq); pos != std::string::npos; pos = text.find(seq, pos + 2))
        text.replace(pos, seq.size(), "\r\n");
    return text;
}

}  // namespace

std::string UIString(int id)
{
    if (const TLocalLanguages* languages = TLocalLanguages::Instance())
        return languages->GetString(id, -1, true);
    return id < 0 ? std::string("?") : ExpandLineBreaks(GetDefaultString(static_cast<uint16_t>(id)));
}

QString QUIString(int id)
{
    return QString::fromStdString(UIString(id));
}

int UIInteger(int id, int def)
{
    std::string text = UIString(id);
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return def;
    return value;
}

QString QReplaceFirst(QString text, const QString& placeholder, const QString& value)
{
    qsizetype pos = text.indexOf(placeholder);
    if (pos >= 0)
        text.replace(pos, placeholder.size(), value);
    return text;
}

void ApplyLanguageFont(QWidget* widget)
{
    QFont font = widget->font();
    font.setFamily(QUIString(7));
    int size = UIInteger(8, font.pointSize());
    if (size > 0)
        font.setPointSize(size);
    widget->setFont(font);
}
