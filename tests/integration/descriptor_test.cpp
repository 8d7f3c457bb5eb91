// What the host sees of a plug-in before any storage instance exists: the descriptor, the
// exported symbols, and the behaviour the host interfaces themselves define.
#include <gtest/gtest.h>

#include <cstdio>
#include <list>
#include <memory>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testhost/HostedStorage.h"
#include "testhost/PluginLibrary.h"
#include "testhost/ScopedEnv.h"

namespace {

struct Deliverable {
    const char* target;
    const wchar_t* displayName;
    bool exportsEndpoint;
};

const Deliverable kDeliverables[] = {
    {"Tresko", L"Amazon S3", false},     {"Mardel", L"S3 Cloud", false},
    {"Pennat", L"VK Cloud", false},      {"Ruvast", L"Mail.ru HotBox", true},
    {"Golmer", L"Mail.ru IceBox", true},
};

void PrintTo(const Deliverable& deliverable, std::ostream* os) { *os << deliverable.target; }

struct DescriptorDeleter {
    void operator()(IPluginInfo* info) const { info->Destroy(); }
};
using Descriptor = std::unique_ptr<IPluginInfo, DescriptorDeleter>;

class EachDeliverable : public testing::TestWithParam<Deliverable> {};

TEST_P(EachDeliverable, DescriptorReportsTheFixedValues) {
    testhost::PluginLibrary lib(GetParam().target);
    Descriptor info(lib.GetPluginInfo());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetPluginName(), GetParam().displayName);
    EXPECT_EQ(info->GetPluginVersion(), L"1.0");
    EXPECT_EQ(info->GetPluginAuthParams(), nullptr);
    EXPECT_EQ(info->GetPluginFeatures(), 0);
    EXPECT_EQ(info->GetFileSystemType(), 3);
    EXPECT_EQ(info->GetCategory(), 4);
    EXPECT_FALSE(info->IsSeekFileSupported());
    EXPECT_FALSE(info->IsMoveFileSupported());
    EXPECT_TRUE(info->IsConfigurable());
}

TEST_P(EachDeliverable, DescriptorsAreIndependentObjects) {
    testhost::PluginLibrary lib(GetParam().target);
    IPluginInfo* first = lib.GetPluginInfo();
    Descriptor second(lib.GetPluginInfo());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second.get());
    // Strings are built per call: the name outlives the object that produced it.
    const std::wstring name = first->GetPluginName();
    first->Destroy();
    EXPECT_EQ(second->GetPluginName(), name);
    EXPECT_EQ(second->GetPluginVersion(), L"1.0");
}

// Defined dynamic symbols of a shared library, as `nm -D --defined-only` lists them:
// name -> type letter.
std::vector<std::pair<std::string, char>> DefinedSymbols(const std::string& path) {
    const std::string command = std::string(NM_PROGRAM) + " -D --defined-only '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    std::string output;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof(buffer), pipe)) output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    std::vector<std::pair<std::string, char>> symbols;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name)) continue;
        // Version definition entries (type A, named after a version node) are artefacts of
        // the version script, not exports.
        if (type == "A") continue;
        const auto at = name.find('@');
        symbols.emplace_back(name.substr(0, at), type[0]);
    }
    return symbols;
}

TEST_P(EachDeliverable, ExportsOnlyTheEntryPoints) {
    const std::string path = testhost::PluginLibrary::PathOf(GetParam().target);
    std::set<std::string> names;
    char endpointType = 0;
    for (const auto& [name, type] : DefinedSymbols(path)) {
        names.insert(name);
        if (name == "Endpoint") endpointType = type;
        if (name.rfind("Get", 0) == 0) {
            EXPECT_EQ(type, 'T') << name;
        }
    }
    std::set<std::string> expected = {"GetPluginInfo", "GetBackupDataWrite", "GetBackupDataRead"};
    if (GetParam().exportsEndpoint) {
        expected.insert("Endpoint");
        // Writable data, so that the host can point it elsewhere.
        EXPECT_TRUE(endpointType == 'D' || endpointType == 'B') << endpointType;
    }
    EXPECT_EQ(names, expected) << path;
}

TEST_P(EachDeliverable, EndpointIsAWritablePointerToAHostName) {
    testhost::PluginLibrary lib(GetParam().target);
    char** endpoint = lib.Symbol<char*>("Endpoint");
    if (!GetParam().exportsEndpoint) {
        EXPECT_EQ(endpoint, nullptr);
        return;
    }
    ASSERT_NE(endpoint, nullptr);
    ASSERT_NE(*endpoint, nullptr);
    EXPECT_GT(std::string(*endpoint).size(), 0u);
    EXPECT_EQ(std::string(*endpoint).find('/'), std::string::npos) << *endpoint;
    char* original = *endpoint;
    static char other[] = "127.0.0.1:9";
    *endpoint = other;
    EXPECT_STREQ(*lib.Symbol<char*>("Endpoint"), "127.0.0.1:9");
    *endpoint = original;
}

INSTANTIATE_TEST_SUITE_P(Plugins, EachDeliverable, testing::ValuesIn(kDeliverables),
                         [](const testing::TestParamInfo<Deliverable>& info) {
                             return std::string(info.param.target);
                         });

TEST(DisplayName, LengthsCountCharactersNotBytes) {
    testhost::PluginLibrary tresko("Tresko");
    testhost::PluginLibrary ruvast("Ruvast");
    Descriptor treskoInfo(tresko.GetPluginInfo());
    Descriptor ruvastInfo(ruvast.GetPluginInfo());
    EXPECT_EQ(treskoInfo->GetPluginName().size(), 9u);
    EXPECT_EQ(ruvastInfo->GetPluginName().size(), 14u);
}

TEST(DisplayName, LoopbackBuildKeepsTheDescriptor) {
    testhost::PluginLibrary lib("PennatLoopback");
    Descriptor info(lib.GetPluginInfo());
    EXPECT_EQ(info->GetPluginName(), L"VK Cloud");
}

// The operations the host interfaces define for every storage instance (batches, space,
// escaping, Destroy), as each deliverable's instance answers them: not supported, with the
// caller's outputs left as they were, and names unchanged. The instance is set up against a
// loopback port where nothing listens: none of these may need the service.
TEST_P(EachDeliverable, TheInterfacesOwnOperationsAnswerNotSupportedAndLeaveOutputs) {
    // One attempt at the bucket list that set-up makes, not seconds of retries.
    testhost::ScopedEnv retryMode("AWS_RETRY_MODE", "standard");
    testhost::ScopedEnv attempts("AWS_MAX_ATTEMPTS", "1");
    testhost::HostedStorage storage(GetParam().target, "http://127.0.0.1:1", "key", "secret");
    IBackupDataWrite& writer = storage.Open();
    IBackupDataRead& reader = writer;

    unsigned long total = 1234, freeSpace = 5678;
    EXPECT_EQ(reader.GetDirectorySpaceInfo(L"bucket/folder", total, freeSpace), NotSupported);
    EXPECT_EQ(total, 1234u);
    EXPECT_EQ(freeSpace, 5678u);

    unsigned int batch = 0xA5A5A5A5u;
    EXPECT_EQ(reader.NewReadBatch(batch), NotSupported);
    EXPECT_EQ(batch, 0xA5A5A5A5u);
    EXPECT_EQ(reader.AddToReadBatch(L"bucket/file", 7), NotSupported);
    EXPECT_EQ(reader.FlushReadBatch(7), NotSupported);
    EXPECT_EQ(reader.ReleaseReadBatch(7), NotSupported);
    batch = 0x5A5A5A5Au;
    EXPECT_EQ(writer.NewWriteBatch(batch), NotSupported);
    EXPECT_EQ(batch, 0x5A5A5A5Au);
    EXPECT_EQ(writer.AddToWriteBatch(L"bucket/file", 9), NotSupported);
    EXPECT_EQ(writer.ReleaseWriteBatch(9), NotSupported);
    EXPECT_EQ(NotSupported, 6);

    for (const std::wstring& name :
         {std::wstring(), std::wstring(L"\\"), std::wstring(L"/"), std::wstring(L":"),
          std::wstring(L"*"), std::wstring(L"a\\b/c:d*e?f\"g<h>i|j"),
          std::wstring(L"\u00e9\u4e2d\U0001F600"), std::wstring(1, L'\0') + L"x",
          std::wstring(4096, L'*')})
        EXPECT_EQ(reader.EscapeIllegalSymbols(name), name);

    // Destroy through either interface frees the whole instance (the sanitizer build reports
    // what is left).
    storage.Close();
    IBackupDataRead* asRead = storage.lib.GetBackupDataRead(&storage.log, &storage.link);
    ASSERT_NE(asRead, nullptr);
    asRead->Destroy();
}

}  // namespace
