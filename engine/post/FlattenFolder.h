#pragma once
// Folder post-processing of a job: flattening (moving files up out of subfolders) and pruning
// (removing empty subfolders). Symbolic links are never followed, so nothing outside the folder
// given is touched; folders are read in name order, ignoring case.
#include <functional>
#include <set>
#include <string>

class TJobControl;

// Folder paths, each ending in "/".
using TFolderList = std::set<std::string>;

// What the folder steps report to and consult.
struct TFolderSteps {
    // Pause and cancel; none means the steps are never paused or cancelled.
    TJobControl* Control = nullptr;
    // A file was moved up (old path, new path).
    std::function<void(const std::string&, const std::string&)> FileMovedUp;
    // A folder is being pruned.
    std::function<void(const std::string&)> PruningFolder;
};

// Flattens every subfolder of folder (only those in list when one is given) into folder: each
// child first gives up its own files, then takes in those of its subfolders, which then move up
// too. A file whose name is taken in the folder above stays where it is. startPage follows the
// start page's file when it moves.
void FlattenChildFolders(const TFolderSteps& steps, const std::string& folder, const TFolderList* list,
                         std::string& startPage);

// Moves every file of child into parent unless parent has an entry of that name.
void MoveUniqueContentsOfChild(const TFolderSteps& steps, const std::string& parent, const std::string& child,
                               std::string& startPage);

// Removes the empty subfolders of folder (only those in list when one is given), innermost
// first. With reportIt the folder itself is reported and removed when it ends up empty; the
// result says it was removed.
bool PruneEmptyChildFolders(const TFolderSteps& steps, const std::string& folder, const TFolderList* list,
                            bool reportIt);
