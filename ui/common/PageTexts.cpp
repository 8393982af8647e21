#include "ui/common/PageTexts.h"

#include "engine/parse/CharacterReferences.h"

#include <QByteArray>
#include <QStringDecoder>

namespace {

// Bytes 128-159 in Windows-1252; 0 where that code page has no character.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool IsValidUtf8(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !utf8.hasError();
}

QString Windows1252(const std::string& bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const char16_t mapped = b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : 0;
        text.append(QChar(mapped ? mapped : char16_t(b)));
    }
    return text;
}

// The decoder's name for a declared character set; labels that browsers read otherwise are
// mapped as they do.
QByteArray DecoderName(const std::string& charset)
{
    const QByteArray name = QByteArray::fromStdString(charset).trimmed().toLower();
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii" || name == "iso8859-1")
        return "windows-1252";
    if (name.startsWith("utf-16") || name == "unicode")
        return "utf-8";  // a page read byte by byte is not UTF-16
    return name;
}

}  // namespace

QString DecodePageBytes(const std::string& bytes, const std::string& charset)
{
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QByteArray name = DecoderName(charset);
    if (!name.isEmpty()) {
        if (name == "windows-1252" || name == "cp1252")
            return Windows1252(bytes);
        QStringDecoder declared(name.constData());
        if (declared.isValid())
            return declared.decode(view);
    }
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(view);
    return Windows1252(bytes);
}

QString PageTitleText(const std::string& bytes, const std::string& charset)
{
    const QString text = DecodePageBytes(bytes, charset);
    if (!text.contains('&'))
        return text;
    return QString::fromStdString(DecodeCharacterReferences(text.toStdString()));
}

QString ReadableAddressText(const std::string& address)
{
    const QString text = DecodePageBytes(address, std::string());
    if (!text.contains('%'))
        return text;
    const QByteArray decoded = QByteArray::fromPercentEncoding(text.toUtf8());
    const std::string bytes = decoded.toStdString();
    if (!IsValidUtf8(bytes))
        return text;
    for (unsigned char b : bytes)
        if (b < 0x20 || b == 0x7F)
            return text;
    return QString::fromUtf8(decoded);
}
