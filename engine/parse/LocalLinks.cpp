#include "engine/parse/LocalLinks.h"

#include "engine/job/LinkType.h"
#include "engine/job/LocalNames.h"

#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

struct TTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

uint64_t NamesChanges()
{
    TLocalNames* names = TLocalNames::Instance();
    return names != nullptr ? names->LocalNamesChanges() : 0;
}

std::optional<TURL> AddressOfFile(const TURL& file, const std::string& pageFile, const TURL& pageURL)
{
    TLocalNames* names = TLocalNames::Instance();
    const std::string localName = file.URLToLocalFileName("/", true, false);
    TURL address;
    if (names == nullptr || localName.empty() || !names->AddressOfLocalFile(localName, pageFile, pageURL, address))
        return std::nullopt;
    return address;
}

// The link becomes address with the link's fragment.
void FollowTo(TURL& link, const TURL& address)
{
    if (link.TakeAddressKeepingFragment(address))
        return;
    const std::string fragment = link.GetFragment();
    if (fragment.empty()) {
        link.Assign(address);
        return;
    }
    TURL followed;
    followed.Assign(address);
    followed.ClearUserInfo();
    if (followed.ReplaceFragment(fragment) || followed.SetFullURL(address.GetURLWithoutUserInfo() + fragment))
        link = std::move(followed);
    else
        link.Assign(address);
}

}  // namespace

void FollowLocalLinks(TWebLinkList& list, const std::string& pageFile, const TURL& pageURL, TLocalLinks& local)
{
    local.files.clear();
    local.followed = true;
    // Taken first: a change while the files are looked up shows as one later.
    local.namesChanges = NamesChanges();
    local.fileOf.assign(static_cast<size_t>(list.Count()), -1);
    std::unordered_map<std::string, int32_t, TTextHash, std::equal_to<>> byFile;
    size_t index = 0;
    for (TWebLinkInfo& link : list) {
        int32_t& fileOf = local.fileOf[index++];
        if (!link.FURL.IsValid() || link.FURL.GetScheme() != usFile)
            continue;
        auto known = byFile.find(std::string_view(link.FURL.GetFileURL()));
        if (known == byFile.end()) {
            known = byFile.emplace(link.FURL.GetFileURL(), static_cast<int32_t>(local.files.size())).first;
            local.files.push_back({link.FURL.GetFileURL(), AddressOfFile(link.FURL, pageFile, pageURL)});
        }
        fileOf = known->second;
        if (const std::optional<TURL>& address = local.files[static_cast<size_t>(fileOf)].address)
            FollowTo(link.FURL, *address);
    }
}

void KeepLocalLinksCurrent(TWebLinkList& list, const std::string& pageFile, const TURL& pageURL, TLocalLinks& local)
{
    if (!local.followed || local.fileOf.size() != static_cast<size_t>(list.Count())) {
        FollowLocalLinks(list, pageFile, pageURL, local);
        return;
    }
    const uint64_t now = NamesChanges();
    if (now == local.namesChanges)
        return;
    local.namesChanges = now;
    std::vector<bool> moved(local.files.size(), false);
    bool anyMoved = false;
    for (size_t i = 0; i < local.files.size(); ++i) {
        TLocalFileLink& file = local.files[i];
        TURL fileURL;
        std::optional<TURL> address;
        if (fileURL.SetFullURL(file.fileURL))
            address = AddressOfFile(fileURL, pageFile, pageURL);
        if (address == file.address)
            continue;
        file.address = std::move(address);
        moved[i] = true;
        anyMoved = true;
    }
    if (!anyMoved)
        return;
    size_t index = 0;
    for (TWebLinkInfo& link : list) {
        const int32_t fileOf = local.fileOf[index++];
        if (fileOf < 0 || !moved[static_cast<size_t>(fileOf)])
            continue;
        const TLocalFileLink& file = local.files[static_cast<size_t>(fileOf)];
        if (file.address)
            FollowTo(link.FURL, *file.address);
        else
            link.FURL.SetFullURL(file.fileURL + link.FURL.GetFragment());
    }
}
