#include "ui/PageTexts.h"

#include <QByteArray>
#include <QStringDecoder>

#include <algorithm>
#include <iterator>
#include <string_view>

namespace {

struct TEntity {
    std::string_view name;
    char32_t code;
};

// The character entities of HTML 4, and "apos"; sorted by name.
constexpr TEntity kEntities[] = {
    {"AElig", 198}, {"Aacute", 193}, {"Acirc", 194}, {"Agrave", 192}, {"Alpha", 913}, {"Aring", 197},
    {"Atilde", 195}, {"Auml", 196}, {"Beta", 914}, {"Ccedil", 199}, {"Chi", 935}, {"Dagger", 8225}, {"Delta", 916},
    {"ETH", 208}, {"Eacute", 201}, {"Ecirc", 202}, {"Egrave", 200}, {"Epsilon", 917}, {"Eta", 919}, {"Euml", 203},
    {"Gamma", 915}, {"Iacute", 205}, {"Icirc", 206}, {"Igrave", 204}, {"Iota", 921}, {"Iuml", 207}, {"Kappa", 922},
    {"Lambda", 923}, {"Mu", 924}, {"Ntilde", 209}, {"Nu", 925}, {"OElig", 338}, {"Oacute", 211}, {"Ocirc", 212},
    {"Ograve", 210}, {"Omega", 937}, {"Omicron", 927}, {"Oslash", 216}, {"Otilde", 213}, {"Ouml", 214},
    {"Phi", 934}, {"Pi", 928}, {"Prime", 8243}, {"Psi", 936}, {"Rho", 929}, {"Scaron", 352}, {"Sigma", 931},
    {"THORN", 222}, {"Tau", 932}, {"Theta", 920}, {"Uacute", 218}, {"Ucirc", 219}, {"Ugrave", 217},
    {"Upsilon", 933}, {"Uuml", 220}, {"Xi", 926}, {"Yacute", 221}, {"Yuml", 376}, {"Zeta", 918}, {"aacute", 225},
    {"acirc", 226}, {"acute", 180}, {"aelig", 230}, {"agrave", 224}, {"alefsym", 8501}, {"alpha", 945},
    {"amp", 38}, {"and", 8743}, {"ang", 8736}, {"apos", 39}, {"aring", 229}, {"asymp", 8776}, {"atilde", 227},
    {"auml", 228}, {"bdquo", 8222}, {"beta", 946}, {"brvbar", 166}, {"bull", 8226}, {"cap", 8745}, {"ccedil", 231},
    {"cedil", 184}, {"cent", 162}, {"chi", 967}, {"circ", 710}, {"clubs", 9827}, {"cong", 8773}, {"copy", 169},
    {"crarr", 8629}, {"cup", 8746}, {"curren", 164}, {"dArr", 8659}, {"dagger", 8224}, {"darr", 8595},
    {"deg", 176}, {"delta", 948}, {"diams", 9830}, {"divide", 247}, {"eacute", 233}, {"ecirc", 234},
    {"egrave", 232}, {"empty", 8709}, {"emsp", 8195}, {"ensp", 8194}, {"epsilon", 949}, {"equiv", 8801},
    {"eta", 951}, {"eth", 240}, {"euml", 235}, {"euro", 8364}, {"exist", 8707}, {"fnof", 402}, {"forall", 8704},
    {"frac12", 189}, {"frac14", 188}, {"frac34", 190}, {"frasl", 8260}, {"gamma", 947}, {"ge", 8805}, {"gt", 62},
    {"hArr", 8660}, {"harr", 8596}, {"hearts", 9829}, {"hellip", 8230}, {"iacute", 237}, {"icirc", 238},
    {"iexcl", 161}, {"igrave", 236}, {"image", 8465}, {"infin", 8734}, {"int", 8747}, {"iota", 953},
    {"iquest", 191}, {"isin", 8712}, {"iuml", 239}, {"kappa", 954}, {"lArr", 8656}, {"lambda", 955},
    {"lang", 9001}, {"laquo", 171}, {"larr", 8592}, {"lceil", 8968}, {"ldquo", 8220}, {"le", 8804},
    {"lfloor", 8970}, {"lowast", 8727}, {"loz", 9674}, {"lrm", 8206}, {"lsaquo", 8249}, {"lsquo", 8216},
    {"lt", 60}, {"macr", 175}, {"mdash", 8212}, {"micro", 181}, {"middot", 183}, {"minus", 8722}, {"mu", 956},
    {"nabla", 8711}, {"nbsp", 160}, {"ndash", 8211}, {"ne", 8800}, {"ni", 8715}, {"not", 172}, {"notin", 8713},
    {"nsub", 8836}, {"ntilde", 241}, {"nu", 957}, {"oacute", 243}, {"ocirc", 244}, {"oelig", 339}, {"ograve", 242},
    {"oline", 8254}, {"omega", 969}, {"omicron", 959}, {"oplus", 8853}, {"or", 8744}, {"ordf", 170}, {"ordm", 186},
    {"oslash", 248}, {"otilde", 245}, {"otimes", 8855}, {"ouml", 246}, {"para", 182}, {"part", 8706},
    {"permil", 8240}, {"perp", 8869}, {"phi", 966}, {"pi", 960}, {"piv", 982}, {"plusmn", 177}, {"pound", 163},
    {"prime", 8242}, {"prod", 8719}, {"prop", 8733}, {"psi", 968}, {"quot", 34}, {"rArr", 8658}, {"radic", 8730},
    {"rang", 9002}, {"raquo", 187}, {"rarr", 8594}, {"rceil", 8969}, {"rdquo", 8221}, {"real", 8476}, {"reg", 174},
    {"rfloor", 8971}, {"rho", 961}, {"rlm", 8207}, {"rsaquo", 8250}, {"rsquo", 8217}, {"sbquo", 8218},
    {"scaron", 353}, {"sdot", 8901}, {"sect", 167}, {"shy", 173}, {"sigma", 963}, {"sigmaf", 962}, {"sim", 8764},
    {"spades", 9824}, {"sub", 8834}, {"sube", 8838}, {"sum", 8721}, {"sup", 8835}, {"sup1", 185}, {"sup2", 178},
    {"sup3", 179}, {"supe", 8839}, {"szlig", 223}, {"tau", 964}, {"there4", 8756}, {"theta", 952},
    {"thetasym", 977}, {"thinsp", 8201}, {"thorn", 254}, {"tilde", 732}, {"times", 215}, {"trade", 8482},
    {"uArr", 8657}, {"uacute", 250}, {"uarr", 8593}, {"ucirc", 251}, {"ugrave", 249}, {"uml", 168}, {"upsih", 978},
    {"upsilon", 965}, {"uuml", 252}, {"weierp", 8472}, {"xi", 958}, {"yacute", 253}, {"yen", 165}, {"yuml", 255},
    {"zeta", 950}, {"zwj", 8205}, {"zwnj", 8204}
};

// What numeric references 128-159 stand for, as browsers read them (Windows-1252); 0 where
// that code page has no character.
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

int DigitValue(char c, int base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendCode(QString& out, char32_t code)
{
    if (code >= 0x80 && code < 0xA0 && kWindows1252High[code - 0x80])
        code = kWindows1252High[code - 0x80];
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    out.append(QString::fromUcs4(&code, 1));
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

QString DecodeCharacterReferences(const QString& text)
{
    if (!text.contains('&'))
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text[i];
        if (c != '&' || i + 2 >= n) {
            out.append(c);
            ++i;
            continue;
        }
        if (text[i + 1] == '#') {
            // Decimal or hexadecimal; the ";" may be left out, as browsers allow.
            qsizetype p = i + 2;
            const bool hex = p < n && (text[p] == 'x' || text[p] == 'X');
            if (hex)
                ++p;
            const qsizetype digitsStart = p;
            char32_t code = 0;
            bool overflow = false;
            while (p < n && text[p].unicode() < 128) {
                const int digit = DigitValue(static_cast<char>(text[p].unicode()), hex ? 16 : 10);
                if (digit < 0)
                    break;
                code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
                if (code > 0x10FFFF) {
                    overflow = true;
                    code = 0;  // keeps reading the digits without growing
                }
                ++p;
            }
            if (p == digitsStart) {
                out.append(c);
                ++i;
                continue;
            }
            AppendCode(out, overflow ? 0xFFFD : code);
            i = p < n && text[p] == ';' ? p + 1 : p;
            continue;
        }
        // A named reference: letters and digits up to ";".
        qsizetype p = i + 1;
        while (p < n && p - i <= 8 && text[p].unicode() < 128 && text[p].isLetterOrNumber())
            ++p;
        if (p < n && text[p] == ';' && p > i + 1) {
            const QByteArray name = text.mid(i + 1, p - i - 1).toLatin1();
            const std::string_view key(name.constData(), static_cast<size_t>(name.size()));
            auto it = std::lower_bound(std::begin(kEntities), std::end(kEntities), key,
                                       [](const TEntity& e, std::string_view k) { return e.name < k; });
            if (it != std::end(kEntities) && it->name == key) {
                AppendCode(out, it->code);
                i = p + 1;
                continue;
            }
        }
        out.append(c);
        ++i;
    }
    return out;
}

QString PageTitleText(const std::string& bytes, const std::string& charset)
{
    return DecodeCharacterReferences(DecodePageBytes(bytes, charset));
}

QString MailAddressText(const std::string& address)
{
    const QString text = DecodeCharacterReferences(DecodePageBytes(address, std::string()));
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
