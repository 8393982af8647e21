#include "engine/parse/LocalLinks.h"

#include "engine/job/LinkType.h"
#include "engine/job/LocalNames.h"

#include <utility>

namespace {

uint64_t NamesChanges()
{
    TLocalNames* names = TLocalNames::Instance();
    return names != nullptr ? names->LocalNamesChanges() : 0;
}

std::optional<TURL> AddressOfFile(const std::string& localName, const std::string& pageFile, const TURL& pageURL)
{
    TLocalNames* names = TLocalNames::Instance();
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

TLocalLinkFollower::TLocalLinkFollower(const std::string& pageFile, const TURL& pageURL, TLocalLinks& local)
    : pageFile_(pageFile), pageURL_(pageURL), local_(local)
{
    local_.files.clear();
    local_.fileOf.clear();
    local_.followed = true;
    // Taken first: a change while the files are looked up shows as one later.
    local_.namesChanges = NamesChanges();
}

int32_t& TLocalLinkFollower::FileOf(size_t index)
{
    if (local_.fileOf.size() <= index)
        local_.fileOf.resize(index + 1, -1);
    return local_.fileOf[index];
}

bool TLocalLinkFollower::FollowKnownValue(size_t index, std::string_view beforeHash, std::string_view fragment,
                                          TURL& url)
{
    const auto known = byValue_.find(beforeHash);
    if (known == byValue_.end())
        return false;
    const auto& [entry, file] = known->second;
    const std::optional<TURL>& address = local_.files[static_cast<size_t>(entry)].address;
    // As the value read whole and then followed: the address, or the file, with the fragment.
    if (address) {
        url.Assign(*address);
        if (!fragment.empty())
            url.ClearUserInfo();
    } else {
        url.Assign(file);
    }
    if ((address && fragment.empty()) || url.ReplaceFragment(fragment)) {
        FileOf(index) = entry;
        return true;
    }
    url.Clear();
    return false;
}

void TLocalLinkFollower::Follow(size_t index, TURL& url, std::string_view beforeHash)
{
    int32_t& fileOf = FileOf(index);
    if (fileOf >= 0 || !url.IsValid() || url.GetScheme() != usFile)
        return;
    auto known = byFile_.find(std::string_view(url.GetFileURL()));
    if (known == byFile_.end()) {
        known = byFile_.emplace(url.GetFileURL(), static_cast<int32_t>(local_.files.size())).first;
        std::string localName = url.URLToLocalFileName("/", true, false);
        std::optional<TURL> address = AddressOfFile(localName, pageFile_, pageURL_);
        local_.files.push_back({url.GetFileURL(), std::move(localName), std::move(address)});
    }
    fileOf = known->second;
    // A file address takes what follows its last "#" as its fragment: one holding a "#" or
    // ending in a blank would read otherwise with another fragment.
    const std::string& fileURL = url.GetFileURL();
    if (!beforeHash.empty() && fileURL.find('#') == std::string::npos &&
        static_cast<unsigned char>(fileURL.back()) > ' ' && byValue_.find(beforeHash) == byValue_.end()) {
        TURL file;
        if (file.SetFullURL(fileURL))
            byValue_.emplace(std::string(beforeHash), std::make_pair(fileOf, std::move(file)));
    }
    if (const std::optional<TURL>& address = local_.files[static_cast<size_t>(fileOf)].address)
        FollowTo(url, *address);
}

void TLocalLinkFollower::End(const TWebLinkList& list)
{
    local_.fileOf.resize(static_cast<size_t>(list.Count()), -1);
}

void FollowLocalLinks(TWebLinkList& list, const std::string& pageFile, const TURL& pageURL, TLocalLinks& local)
{
    TLocalLinkFollower follower(pageFile, pageURL, local);
    size_t index = 0;
    for (TWebLinkInfo& link : list)
        follower.Follow(index++, link.FURL);
    follower.End(list);
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
        std::optional<TURL> address = AddressOfFile(file.localName, pageFile, pageURL);
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
