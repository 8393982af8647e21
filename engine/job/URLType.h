#pragma once
// The address value of the engine: parsing absolute addresses, resolving relative ones against a
// base (RFC 3986, dot segments removed), rebuilding the address text, and mapping an address to
// the local file name under which its copy is saved.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <string_view>

enum TURLScheme : int32_t {
    usNone = -1,
    usFTP = 1,
    usGopher = 2,
    usHTTP = 3,
    usHTTPS = 4,
    usFile = 5,
    usMailto = 7,
    usJavaScript = 8,
};

class TURL {
public:
    TURL() { Clear(); }
    TURL(const TURL& source);
    TURL& operator=(const TURL& source);
    TURL(TURL&&) noexcept = default;
    TURL& operator=(TURL&&) noexcept = default;
    ~TURL();
    // Part by part: reports pass addresses on by swapping, and three moves cost more.
    friend void swap(TURL& a, TURL& b) noexcept
    {
        using std::swap;
        swap(a.Scheme, b.Scheme);
        swap(a.Port, b.Port);
        swap(a.Valid, b.Valid);
        a.HostName.swap(b.HostName);
        a.URLPath.swap(b.URLPath);
        a.ExtraInfo.swap(b.ExtraInfo);
        a.rare_.swap(b.rare_);
    }

    void Clear();
    // Copies every field except UnusableText.
    void Assign(const TURL& source);
    // Every field but UnusableText is equal.
    bool operator==(const TURL& other) const;

    // Parses an absolute address. On failure the value is cleared, the text is kept in
    // UnusableText and False is returned; it never raises.
    bool SetFullURL(std::string_view text);
    // Resolves text against base (a file, mailto or javascript text is taken as it is).
    bool SetRelativeURL(std::string_view text, const TURL& base);
    // The text (trimmed, tabs and line breaks dropped, as SetFullURL reads it) starts with a
    // scheme: only then can SetFullURL take it.
    static bool HasScheme(std::string_view text);
    // Puts fragment ("#..." as a parsed address holds it, or empty) in place of this address's
    // own, as SetFullURL would read the two together; false, leaving the address as it was, when
    // it would read them otherwise (blanks or control bytes in fragment, a "#" in a file address)
    // or the whole would be too long to build. Network and file addresses only.
    bool ReplaceFragment(std::string_view fragment);
    // Becomes address with this address's own fragment, as a copy of address given that fragment
    // by ReplaceFragment. False, leaving this as it was, where ReplaceFragment would refuse, or
    // address holds more than a network address's scheme, host, port, path and query.
    bool TakeAddressKeepingFragment(const TURL& address);

    std::string GetURL(bool includeUserInfo, bool includeHost, bool includeFragment, bool includeExtraInfo,
                       bool includePath) const;
    std::string GetFullURL() const;
    // Scheme, host, port, path and query: the form used in lists, messages and the log.
    std::string GetURLWithoutUserInfo() const;

    // The local file name of this address under destination (a folder, "/" separated). The folder
    // is kept as given; the part after it is lower-cased, lies inside the folder and respects the
    // file-system limits. Empty when the address has no local name or its name would be unsafe.
    std::string URLToLocalFileName(std::string_view destination, bool recreateFolderStructure,
                                   bool assumeWWW) const;

    // From the last "." of the path, dot included; empty when none or a "/" follows it.
    std::string GetPathExtension() const;
    bool IsHTML(std::string_view mimeType) const;
    bool IsCSS(std::string_view mimeType) const;
    std::string GetMailtoAddress() const;

    bool IsSupportedScheme() const;
    bool IsDownloadableScheme() const;

    const std::string& GetHostName() const { return HostName; }
    uint16_t GetPort() const { return Port; }
    const std::string& GetURLPath() const { return URLPath; }
    int32_t GetScheme() const { return Scheme; }
    const std::string& GetExtraInfo() const { return ExtraInfo; }
    const std::string& GetFragment() const { return rare_ ? rare_->Fragment : EmptyText(); }
    const std::string& GetUserName() const { return Rare(&TOtherParts::UserName); }
    const std::string& GetPassword() const { return Rare(&TOtherParts::Password); }
    const std::string& GetFileURL() const { return Rare(&TOtherParts::FileURL); }
    const std::string& GetMailtoURL() const { return Rare(&TOtherParts::MailtoURL); }
    const std::string& GetJavaScriptURL() const { return Rare(&TOtherParts::JavaScriptURL); }
    const std::string& GetUnusableText() const { return Rare(&TOtherParts::UnusableText); }
    bool IsValid() const { return Valid; }

    // User name and password are the plain credentials; the address text carries them
    // percent-encoded.
    void SetUserAndPassword(std::string_view user, std::string_view password);
    bool IsUserInfoEmpty() const { return GetUserName().empty() && GetPassword().empty(); }
    void ClearUserInfo();
    void DropIncompleteUserInfo();

private:
    enum class TCrackResult { Cracked, Malformed, NoScheme, Unusable };

    // The parts most addresses lack live apart, made when one of them is first set: a job holds
    // an address for each of its links. Of those, links to a place in a page (a fragment) are
    // common; the others are kept one step further.
    struct TOtherParts {
        std::string UserName;
        std::string Password;
        std::string FileURL;
        std::string MailtoURL;
        std::string JavaScriptURL;
        std::string UnusableText;
    };
    struct TRareParts {
        std::string Fragment;
        std::unique_ptr<TOtherParts> Others;

        TRareParts() = default;
        TRareParts(const TRareParts& source);
        TRareParts& operator=(const TRareParts& source);
    };
    using TRarePart = std::string TOtherParts::*;
    static const std::string& EmptyText();
    const std::string& Rare(TRarePart part) const
    {
        return rare_ && rare_->Others ? (*rare_->Others).*part : EmptyText();
    }
    void SetRare(TRarePart part, std::string value);
    void SetFragment(std::string value);

    // The fragment ("#..." or empty) reads as one when put after an address.
    static bool FragmentReadsAlone(std::string_view fragment);
    bool TakeOpaqueAddress(std::string_view text);
    TCrackResult Crack(std::string_view text);
    bool RefuseText(std::string_view text, TCrackResult why);
    size_t BuiltLength() const;
    void AppendAbsolute(std::string& out, bool includeUserInfo, bool includeHost, bool includeFragment,
                        bool includeExtraInfo, bool includePath) const;
    std::string FileAddressToLocalName(std::string_view folder) const;
    std::string AddressToLocalName(std::string_view folder, bool recreateFolderStructure, bool assumeWWW) const;

    int32_t Scheme;
    uint16_t Port;
    bool Valid;
    std::string HostName;
    std::string URLPath;
    std::string ExtraInfo;
    std::unique_ptr<TRareParts> rare_;
};

// A reference resolved against an absolute base address (RFC 3986), as text, whatever its length.
std::string CombineReference(std::string_view baseText, std::string_view refText);
// The media type without its parameters and surrounding blanks: "text/css; charset=utf-8" ->
// "text/css".
std::string_view MediaTypeOf(std::string_view mimeType);
// A local name kept apart from another that differs from it only in letter case (on a file
// system that folds case): "~" and sixteen hex digits of a hash of the name before its extension.
std::string CaseDistinctLocalName(const std::string& name);
bool IsValidURL(std::string_view text);
bool IsDownloadableURL(std::string_view text);
// A byte that may not appear in a local file name (besides the separator).
bool IsInvalidFileNameChar(char c);
