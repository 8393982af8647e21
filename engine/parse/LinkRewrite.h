#pragma once
// Copying a page or style sheet with its links replaced for offline browsing: a relative path
// to the local copy where there is one, the absolute address otherwise.
#include <memory>
#include <string>

class TCommonParser;
class TFileRewrite;
class TRewriteSpares;
class TWebLinkInfo;
class TWebLinkList;

// How a rewrite treats the page's file.
class TLinkReplaceOptions {
public:
    bool FKeepInputFile = false;  // keep the version before the first rewrite as "<name>_orig.<ext>"
    bool FAddMark = false;        // pages get the saved-from mark
};

// The path from the folder of pageFile to targetFile ("/" separated, ".." for each folder up);
// just the file name for a target in the page's folder.
std::string MakeRelativeLink(const std::string& pageFile, const std::string& targetFile);

// A relative path made safe to stand in an address and inside quotes: "%", "#", "?", quotes,
// brackets, blanks, control and non-ASCII bytes are percent-encoded; "\" becomes "/".
std::string EncodeRelativeLink(const std::string& path);

// A relative local path as the address text it was made from: a "%" in a local name is part of
// an escape kept as the address wrote it, so only the bytes an address cannot hold as they are
// (blanks, control and non-ASCII bytes, "#", "?", double quotes) are percent-encoded.
std::string LocalPathAsAddress(const std::string& path);

// "<!-- saved from url=(0025)http://www.example.com/a -->" for a page address.
std::string SavedFromMark(const std::string& pageAddress);

// The name under which the pre-rewrite version is kept: "_orig" before the extension.
std::string KeptInputFileName(const std::string& fileName);

// While no address the link names has a copy on disk to link to, the rewrite of the page
// (page) or style sheet would leave the link as it stands: it is a local path, or an address
// written as the rewrite writes it (parser: the one that read the link). followedFile: the link
// named a file of the copy and was followed to that file's address.
bool RewriteKeepsLink(const TCommonParser& parser, const TWebLinkInfo& link, bool page, bool followedFile = false);

// Copies the input to the output with the links of list replaced (list is sorted by position).
// dropBase removes BASE tags (pages); writeMark puts the saved-from mark first. A link that
// overlaps one already written is left as it stands. The parser supplies ForceAbsoluteLink and
// two callbacks: address-to-file names the local copy of an address when there is one on disk to
// link to (else the absolute address is written); a True from rewrite-progress ends the
// replacing, and the rest is copied unchanged.
void ReplaceLinksInStream(TFileRewrite& io, const TCommonParser& parser, const std::string& pageAddress,
                          bool dropBase, bool writeMark, TWebLinkList& list);

// Writes the file's new copy with its links replaced to a temporary file and returns it, not yet
// in place (Commit puts it there; dropping it leaves the file as it was). The temporary file
// comes from spares when given (see TFileRewrite). Throws like below.
std::unique_ptr<TFileRewrite> PrepareReplacedLinks(const TCommonParser& parser, const std::string& fileName,
                                                   const std::string& pageAddress, const TLinkReplaceOptions& options,
                                                   TWebLinkList& list, int kind, bool pageMarked,
                                                   TRewriteSpares* spares = nullptr);

// Replaces the links of the file through a temporary file and a rename; kind 1 is a page (its
// BASE tags go and, with FAddMark, a page without a mark (pageMarked) gets one), 2 a style
// sheet. Throws std::runtime_error; the file is then as it was.
void ReplaceLinksInFile(const TCommonParser& parser, const std::string& fileName, const std::string& pageAddress,
                        const TLinkReplaceOptions& options, TWebLinkList& list, int kind, bool pageMarked);
