#pragma once
// The crawl engine's process-wide services in their fixed order of creation; destroyed in reverse.
// Created after the message queues and the password store, before the crawl thread.
#include "engine/crawl/DownloadThreadDispacher.h"
#include "engine/parse/GYCSSParser.h"
#include "engine/parse/GYHTMLParser.h"
#include "engine/crawl/JobDownloadFilter.h"
#include "engine/parse/LinkParser.h"
#include "platform/InternetLibrary.h"

struct TEngineServices {
    TInternetLibrary internetLibrary;
    TDownloadFilter downloadFilter;
    THTMLParser htmlParser;
    TCSSParser cssParser;
    TLinkParser linkParser;
    TURLToFilenameMapper urlToFilenameMapper;
    TReadWriteOutputMessenger readWriteMessenger;
    TDownloadThreadDispacher dispatcher;
};
