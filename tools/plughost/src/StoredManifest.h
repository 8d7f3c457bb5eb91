// The manifest as the tree commands find it: in the listing of a backup's root, or, for a
// path below that root, in the nearest folder above that holds one.
#pragma once

#include <optional>
#include <string>

#include "CommandContext.h"
#include "Manifest.h"
#include "Tree.h"

namespace plughost {

enum class ManifestState { Absent, Read, Unreadable };

struct FoundManifest {
    ManifestState state = ManifestState::Absent;
    Manifest manifest;
    std::string problem;          // why an unreadable one is of no use
    bool downloadFailed = false;  // it is there, but could not be read this time
    // The path of the manifest's folder, and the prefix that turns a path relative to the
    // folder asked for into one relative to the manifest's folder ("" or "sub/dir/").
    std::string root;
    std::string prefix;

    const ManifestEntry* Find(const std::string& relative) const {
        return state == ManifestState::Read ? manifest.Find(prefix + relative) : nullptr;
    }
    // The path of a manifest entry relative to the folder asked for; nullopt for an entry
    // outside it (or the folder itself).
    std::optional<std::string> Relative(const std::string& path) const {
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
            return std::nullopt;
        return path.substr(prefix.size());
    }
};

// Takes the manifest out of the stored tree's listing of `root` and reads it.
FoundManifest ReadTreeManifest(Context& context, const std::string& root, StoredTree& tree);

// The manifest of the folder `path` when its listing `tree` holds one (without a listing, when
// the folder holds one), else the nearest in a folder above it, up to the bucket.
FoundManifest FindManifest(Context& context, const std::string& path, StoredTree* tree);

// The "note:" line for a manifest that could not be used, or "" when there is none to say.
std::string ManifestNote(const FoundManifest& found, const std::string& consequence);

}  // namespace plughost
