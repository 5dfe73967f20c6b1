#pragma once
// The releases a configuration announces against the trees this server serves them from: a
// client told of one version and handed manifests of another fails every update.
#include <string>
#include <vector>

#include "release_config.h"

namespace vaultaide::tools {

// For each bank whose url lies under the served root ("{self}" or "{self}/PATH"), the version
// its manifests there name (Digest.xml and the bank's Digest_BBB.xml, the root element's
// "Version") must be the configured one. A manifest that is missing, unreadable or names no
// version is passed over: releases made by other tools carry none. False with the first
// mismatch in one line.
bool checkServedReleases(const ReleaseConfig& config, int rootFd, std::string& error);

// For each bank whose url lies under the served root, a line when a manifest its clients ask
// for is not there (the tree may still be on its way, so this is a warning, not a fault).
std::vector<std::string> missingServedManifests(const ReleaseConfig& config, int rootFd);

}  // namespace vaultaide::tools
