// What a transfer pays per byte and a listing per page, measured on the code the plug-ins run:
//  - the payload hash of a signed request body (SHA-256) and the CRC64NVME checksum, alone and
//    fed together from a part held in a ChunkedBuffer, as the client reads a request body;
//  - the copy of the host's blocks into the part buffer on upload, and out of it into the
//    host's buffer on download, beside a plain memcpy of the same bytes;
//  - parsing of a full 1,000-key ListObjectsV2 page.
// SHA-256 plus one copy is the least CPU an upload over plain HTTP can cost: scripts/bench.sh
// reads these figures to set that floor beside the measured client CPU.
#include <aws/core/utils/memory/stl/AWSStringStream.h>
#include <aws/s3/model/ListObjectsV2Result.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/Crc.h"
#include "core/Crypto.h"
#include "s3/Operations.h"
#include "s3/ResponseClassification.h"
#include "transfer/ChunkedBuffer.h"

namespace {
constexpr std::size_t partBytes = std::size_t{64} << 20;
// The block the host hands over per WriteFile/ReadFile call.
constexpr std::size_t hostBlock = std::size_t{1} << 20;

const std::string& Payload() {
    static const std::string payload = [] {
        std::string data(partBytes, '\0');
        std::mt19937_64 random(7);
        for (std::size_t at = 0; at + 8 <= data.size(); at += 8) {
            const std::uint64_t value = random();
            std::memcpy(&data[at], &value, 8);
        }
        return data;
    }();
    return payload;
}

void Bytes(benchmark::State& state, std::size_t perIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * perIteration));
}

void Sha256(benchmark::State& state) {
    const std::string& data = Payload();
    for (auto _ : state) {
        auto hash = Aws::Internal::MakeHash(Aws::Internal::HashKind::SHA256);
        hash->Update(data.data(), data.size());
        benchmark::DoNotOptimize(hash->Finish());
    }
    Bytes(state, data.size());
}
BENCHMARK(Sha256)->Unit(benchmark::kMillisecond);

void Crc64Nvme(benchmark::State& state) {
    const std::string& data = Payload();
    for (auto _ : state) {
        auto hash = Aws::Internal::MakeHash(Aws::Internal::HashKind::CRC64NVME);
        hash->Update(data.data(), data.size());
        benchmark::DoNotOptimize(hash->Finish());
    }
    Bytes(state, data.size());
    state.SetLabel(Aws::Internal::Crc64NvmeHasClmul() ? "clmul" : "table");
}
BENCHMARK(Crc64Nvme)->Unit(benchmark::kMillisecond);

void Crc64NvmePortable(benchmark::State& state) {
    const std::string& data = Payload();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Aws::Internal::Crc64NvmeUpdatePortable(~std::uint64_t{0}, data.data(), data.size()));
    }
    Bytes(state, data.size());
}
BENCHMARK(Crc64NvmePortable)->Unit(benchmark::kMillisecond);

// A part as the upload holds it: the host's blocks appended to a ChunkedBuffer.
std::shared_ptr<ChunkedBuffer> FilledPart() {
    const std::string& data = Payload();
    auto buffer = std::make_shared<ChunkedBuffer>();
    for (std::size_t at = 0; at < data.size(); at += hostBlock)
        buffer->Append(data.data() + at, hostBlock);
    return buffer;
}

// The request body read once from offset 0 for both digests, as the client does before it
// signs an upload whose checksum goes in a header.
void HashPartSha256AndCrc64Nvme(benchmark::State& state) {
    ChunkedStream body(FilledPart());
    for (auto _ : state) {
        auto sha = Aws::Internal::MakeHash(Aws::Internal::HashKind::SHA256);
        auto crc = Aws::Internal::MakeHash(Aws::Internal::HashKind::CRC64NVME);
        benchmark::DoNotOptimize(Aws::Internal::HashStream(body, -1, sha.get(), crc.get()));
        benchmark::DoNotOptimize(sha->Finish());
        benchmark::DoNotOptimize(crc->Finish());
    }
    Bytes(state, partBytes);
}
BENCHMARK(HashPartSha256AndCrc64Nvme)->Unit(benchmark::kMillisecond);

void HashPartSha256(benchmark::State& state) {
    ChunkedStream body(FilledPart());
    for (auto _ : state) {
        auto sha = Aws::Internal::MakeHash(Aws::Internal::HashKind::SHA256);
        benchmark::DoNotOptimize(Aws::Internal::HashStream(body, -1, sha.get(), nullptr));
        benchmark::DoNotOptimize(sha->Finish());
    }
    Bytes(state, partBytes);
}
BENCHMARK(HashPartSha256)->Unit(benchmark::kMillisecond);

// The reference for one copy of every byte.
void Memcpy(benchmark::State& state) {
    const std::string& data = Payload();
    std::vector<char> target(data.size());
    for (auto _ : state) {
        for (std::size_t at = 0; at < data.size(); at += hostBlock)
            std::memcpy(target.data() + at, data.data() + at, hostBlock);
        benchmark::ClobberMemory();
    }
    Bytes(state, data.size());
}
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);

// WriteFile's share of an upload: a fresh part buffer per part, filled block by block (the
// chunk allocations, first-touch page faults included, are part of the cost).
void UploadAppend(benchmark::State& state) {
    const std::string& data = Payload();
    for (auto _ : state) {
        ChunkedBuffer buffer;
        for (std::size_t at = 0; at < data.size(); at += hostBlock)
            buffer.Append(data.data() + at, hostBlock);
        benchmark::DoNotOptimize(buffer.Size());
    }
    Bytes(state, data.size());
}
BENCHMARK(UploadAppend)->Unit(benchmark::kMillisecond);

// The same with the part buffer kept from one part to the next, as an opened file does: the
// chunks' pages stay mapped, so this is the copy alone.
void UploadAppendRecycled(benchmark::State& state) {
    const std::string& data = Payload();
    ChunkedBuffer buffer;
    for (auto _ : state) {
        buffer.Reset(ChunkedBuffer::unlimited);
        for (std::size_t at = 0; at < data.size(); at += hostBlock)
            buffer.Append(data.data() + at, hostBlock);
        benchmark::DoNotOptimize(buffer.Size());
    }
    Bytes(state, data.size());
}
BENCHMARK(UploadAppendRecycled)->Unit(benchmark::kMillisecond);

// ReadFile's share of a download: the part already received, copied block by block into the
// host's buffer.
void DownloadCopyOut(benchmark::State& state) {
    auto part = FilledPart();
    std::vector<char> hostBuffer(hostBlock);
    for (auto _ : state) {
        part->pubseekpos(0, std::ios_base::in);
        for (std::size_t at = 0; at < partBytes; at += hostBlock)
            benchmark::DoNotOptimize(
                part->sgetn(hostBuffer.data(), static_cast<std::streamsize>(hostBlock)));
        benchmark::ClobberMemory();
    }
    Bytes(state, partBytes);
}
BENCHMARK(DownloadCopyOut)->Unit(benchmark::kMillisecond);

std::string ListingPage(int keys) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<ListBucketResult xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">"
        "<Name>bench-bucket</Name><Prefix>backups/host-01/</Prefix>"
        "<NextContinuationToken>1ueGcxLPRx1Tr/XYExHnhbYLgveDs2J/wm36Hy4vbOwM=</"
        "NextContinuationToken><KeyCount>1000</KeyCount><MaxKeys>1000</MaxKeys>"
        "<Delimiter>/</Delimiter><IsTruncated>true</IsTruncated>";
    char entry[640];
    for (int i = 0; i < keys; ++i) {
        std::snprintf(entry, sizeof entry,
                      "<Contents><Key>backups/host-01/2026-11-%02d/volume &amp; data %05d.bin</Key>"
                      "<LastModified>2026-11-%02dT%02d:%02d:%02d.000Z</LastModified>"
                      "<ETag>&quot;%032x&quot;</ETag><Size>%d</Size>"
                      "<StorageClass>STANDARD</StorageClass></Contents>",
                      i % 28 + 1, i, i % 28 + 1, i % 24, i % 60, (i * 7) % 60,
                      static_cast<unsigned>(i) * 2654435761u, 1000 + i * 37);
        xml += entry;
    }
    xml += "</ListBucketResult>";
    return xml;
}

void ParseListingPage(benchmark::State& state) {
    const std::string page = ListingPage(1000);
    Aws::S3::Internal::OperationRequest request;
    request.answer = Aws::S3::Internal::AnswerKind::Document;
    request.resultRoot = "ListBucketResult";
    Aws::Internal::HttpResponse http;
    http.statusCode = 200;
    for (auto _ : state) {
        // What the client does with an answer: classify it (the one parse), then read the
        // result out of the document.
        Aws::StringStream body{Aws::String(page)};
        auto verdict = Aws::S3::Internal::ClassifyResponse(request, http, body, nullptr, "");
        Aws::S3::Internal::OperationResponse response;
        response.responseCode = Aws::Http::HttpResponseCode::OK;
        response.document = std::move(verdict.document);
        const Aws::S3::Model::ListObjectsV2Result result =
            Aws::S3::Internal::ParseListObjectsV2(response).GetResult();
        if (result.GetContents().size() != 1000) {
            state.SkipWithError("the page did not parse into 1,000 keys");
            break;
        }
        benchmark::DoNotOptimize(result.GetContents().data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 1000));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(ParseListingPage)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
