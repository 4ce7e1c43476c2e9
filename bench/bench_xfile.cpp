// Parse throughput of the X-file reader per encoding, in MB/s of file bytes:
// a character-sized skinned mesh with five animation sets, and a mesh of about
// 50,000 triangles. The aim is more than 50 MB/s in binary. For the zipped
// kinds content_rate gives the rate of the inflated data.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/xfile/dxfile.h"
#include "tools/xsamples/xsamples.h"

namespace {

void Parse(benchmark::State& state, std::string bytes, size_t content) {
    IDirectXFile* file = nullptr;
    DirectXFileCreate(&file);
    file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    DXFILELOADMEMORY mem = {&bytes[0], static_cast<DWORD>(bytes.size())};
    for (auto _ : state) {
        IDirectXFileEnumObject* e = nullptr;
        if (FAILED(file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e))) {
            state.SkipWithError("the file did not load");
            break;
        }
        benchmark::DoNotOptimize(e);
        e->Release();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    state.counters["file_KB"] = static_cast<double>(bytes.size()) / 1024.0;
    // For the zipped kinds: the rate of the data once inflated.
    state.counters["content_rate"] = benchmark::Counter(static_cast<double>(state.iterations() * content),
                                                        benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
    file->Release();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    xsamples::CharacterShape shape;
    shape.rings = 40;
    shape.sides = 40;  // 3,161 triangles
    shape.bones = 20;
    shape.sets = 5;
    shape.keys = 30;
    const struct {
        const char* name;
        xwriter::File file;
    } files[] = {{"character", xsamples::Character(shape)}, {"mesh50k", xsamples::BigMesh(50000)}};
    const struct {
        xwriter::Encoding encoding;
        const char* name;
    } encodings[] = {{xwriter::Encoding::Text, "txt"},
                     {xwriter::Encoding::Binary, "bin"},
                     {xwriter::Encoding::TextZip, "tzip"},
                     {xwriter::Encoding::BinaryZip, "bzip"}};
    for (const auto& f : files)
        for (const auto& e : encodings) {
            std::string bytes = xwriter::Write(f.file, e.encoding);
            bool text = e.encoding == xwriter::Encoding::Text || e.encoding == xwriter::Encoding::TextZip;
            size_t content = xwriter::Write(f.file, text ? xwriter::Encoding::Text : xwriter::Encoding::Binary).size();
            benchmark::RegisterBenchmark((std::string("Parse/") + f.name + "/" + e.name).c_str(), Parse, bytes,
                                         content)
                ->Unit(benchmark::kMillisecond);
        }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
