#include "engine/DownloadThreadDispacher.h"

// The program's four download threads. Until the HTTP download thread is part of the engine,
// the dispatcher has none and every job ends with an error.
TDownloadThreadDispacher::TDownloadThreadDispacher() = default;
