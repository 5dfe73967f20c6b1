#pragma once
// File downloads: up to five attempts, each past the URL cache, each staged beside its target.
#include <functional>
#include <string>

#include "platform/http.h"

namespace vaultaide {

class Files;

constexpr int kDownloadAttempts = 5;
// Every download is written to this short name in its target's folder and moved into place
// once accepted, so a target that fits the path limit still does while staged. A leftover of
// a run that was killed is removed by the next download into that folder.
constexpr const char* kStagingName = "~va.tmp";

// The staging file of a target: kStagingName in the target's folder.
std::string stagingPathOf(const std::string& target);

// Up to five attempts, each fetching url into the staging file; the first whose answer was
// status 200, complete, and passed accept (given the staging path) is moved over target.
// A refused or failed attempt leaves target as it was and no staging file. With maxBytes, an
// answer announcing more fails its attempt before anything is written.
bool downloadAccepted(HttpTransport& http, Files& files, const std::string& url,
                      const std::string& target, DownloadSink* sink,
                      const std::function<bool(const std::string& staged)>& accept,
                      uint64_t maxBytes = 0);

// True when an attempt completed and a file now exists at path: one fetched now, or, after
// an answer other than 200, an older file already there. With maxBytes, as above.
bool downloadFile(HttpTransport& http, Files& files, const std::string& url,
                  const std::string& path, DownloadSink* sink, uint64_t maxBytes = 0);

}  // namespace vaultaide
