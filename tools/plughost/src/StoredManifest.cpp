#include "StoredManifest.h"

#include "Sinks.h"
#include "StoragePath.h"
#include "Transfer.h"

namespace plughost {

namespace {

// Larger than any manifest of a tree that fits a backup.
constexpr std::size_t ManifestLimit = 256u << 20;

void Load(Context& context, const std::string& folder, FoundManifest& found) {
    Progress silent(context.console, ProgressMode::None);
    Transfer transfer(context.session.Log(), silent, 1 << 20);
    MemorySink sink(ManifestLimit);
    found.root = folder;
    const std::optional<Failure> failure = transfer.Download(
        context.Storage(), JoinStoragePath(folder, ManifestName), std::nullopt, sink);
    if (failure) {
        context.Fail(*failure);
        found.state = ManifestState::Unreadable;
        found.problem = "it could not be read";
        found.downloadFailed = true;
        return;
    }
    found.problem = Manifest::Parse(sink.Data(), found.manifest);
    found.state = found.problem.empty() ? ManifestState::Read : ManifestState::Unreadable;
    if (!found.problem.empty()) found.manifest = Manifest();
}

}  // namespace

FoundManifest ReadTreeManifest(Context& context, const std::string& root, StoredTree& tree) {
    FoundManifest found;
    if (TakeEntry(tree, ManifestName)) Load(context, root, found);
    return found;
}

FoundManifest FindManifest(Context& context, const std::string& path, StoredTree* tree) {
    FoundManifest found;
    if (tree != nullptr) {
        found = ReadTreeManifest(context, path, *tree);
        if (found.state != ManifestState::Absent) return found;
    }
    std::string folder = path;
    for (bool first = tree == nullptr;; first = false) {
        if (!first) {
            if (!HasKey(folder)) break;
            found.prefix = folder.substr(folder.rfind('/') + 1) + "/" + found.prefix;
            folder.resize(folder.rfind('/'));
        }
        CFileAttributes attributes;
        if (context.Storage().GetElementAttributes(
                ToHostPath(JoinStoragePath(folder, ManifestName)), attributes) != Success ||
            attributes.IsDirectory())
            continue;
        Load(context, folder, found);
        return found;
    }
    found.prefix.clear();
    return found;
}

std::string ManifestNote(const FoundManifest& found, const std::string& consequence) {
    if (found.state != ManifestState::Unreadable) return "";
    return "plughost: note: the manifest in '" + found.root + "' is of no use (" + found.problem +
           "): " + consequence;
}

}  // namespace plughost
