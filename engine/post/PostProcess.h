#pragma once
// The crawl thread's last steps of a job: post-processing each downloaded page (find and
// replace, custom header and footer) and the destination folder (flattening and pruning).
#include "engine/post/FlattenFolder.h"

#include <cstdint>
#include <string>

class TCopyJob;
class TJobControl;
class TSpiderDestObject;
class TSpiderDestObjectList;
class TSpiderOutputMsg;

// Applies the job's find-and-replace tasks, header and footer to a page this job wrote, keeping
// its file times; reports 13 and 16 (kind 3) through msg when there was anything to do.
void PostProcessFile(const TSpiderDestObject& dest, const TCopyJob& job, TSpiderOutputMsg& msg);

// The first-level subfolders of destinationPath (which ends in "/") holding at least one file
// this job wrote, each as destinationPath + name + "/". Ends early, with a warning, when the job
// is cancelled.
void GetDestSubfoldersWithJobFiles(TJobControl& control, const std::string& destinationPath,
                                   const TSpiderDestObjectList& destList, TFolderList& folders);

// Flattens and prunes the job's destination folder as its options ask; msg is the job's report
// message, whose FStartPageFile follows the start page when it moves. The ended report of a step
// is posted also when the step raises.
void PostProcessFolders(TJobControl& control, int32_t jobID, const TCopyJob& job,
                        const TSpiderDestObjectList& destList, TSpiderOutputMsg& msg);
