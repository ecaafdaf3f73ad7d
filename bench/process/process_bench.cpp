// Whole-process benchmark: times the command-line host on generated scene files, as
// a user runs it, beside `assimp export` of the same model when assimp is installed.
//
//   vek_process_bench [--sizes 62k,250k,1M,4M] [--runs N] [--no-assimp] [--dir DIR] BUILD_DIR
//
// The model is a textured height field of n x n quads (two triangles each, their
// diagonal hidden), written as a scene description (JSON), as OBJ and as binary PLY,
// with six decimals. The files are made once in DIR (default BUILD_DIR/bench-scenes)
// and kept for the next run. Every run is a child process; its CPU time (user +
// system) and peak resident size come from wait4. With several runs the median time
// and the largest peak are shown.
//
// For every input the load and the export are also timed apart, inside one
// child that loads the scene and runs the export module linked in: "export" is the
// export alone, the time the whole process is compared with. "--render" is the
// command drawing the file each export wrote, its time then as a share of that export's.
#include "bench/bench_util.h"
#include "export/SceneExporter.h"
#include "scene/Scene.h"
#include "tests/plugin_test_util.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Size {
    const char* label;
    int quads; // per side
};
// 2 n^2 triangles: 61,952; 250,632; 999,698; 3,998,792.
constexpr Size SIZES[] = {{"62k", 176}, {"250k", 354}, {"1M", 707}, {"4M", 1414}};
static_assert(std::size(SIZES) == 4);

enum class Format { Json, Obj, Ply };
struct FormatInfo {
    Format format;
    const char* name;
    const char* extension;
    // What assimp is compared with for this input: its export of the same file to
    // this format ("obj", "ply" = ASCII PLY).
    const char* assimpFormat;
};
constexpr FormatInfo FORMATS[] = {{Format::Json, "JSON", ".scene.json", "obj"},
                                  {Format::Obj, "OBJ", ".obj", "obj"},
                                  {Format::Ply, "PLY (binary)", ".ply", "ply"}};
static_assert(std::size(FORMATS) == 3);

// ---- the model ----

struct Grid {
    int n;
    int Side() const { return n + 1; }
    long long Verts() const { return static_cast<long long>(Side()) * Side(); }
    long long Triangles() const { return 2LL * n * n; }
    // Vertex (i, j) in 0.25-unit steps with a gentle swell, texture coordinates 0..1.
    void Vertex(int i, int j, float p[3], float uv[2]) const
    {
        p[0] = float(i * 0.25 - n * 0.125);
        p[1] = float(j * 0.25 - n * 0.125);
        p[2] = float(0.5 * std::sin(i * 0.1) * std::cos(j * 0.13));
        uv[0] = float(double(i) / n);
        uv[1] = float(double(j) / n);
    }
    long long Index(int i, int j) const { return static_cast<long long>(j) * Side() + i; }
    // Quad (i, j) counter-clockwise from its lowest corner.
    void Quad(int i, int j, long long q[4]) const
    {
        q[0] = Index(i, j);
        q[1] = Index(i + 1, j);
        q[2] = Index(i + 1, j + 1);
        q[3] = Index(i, j + 1);
    }
};

// The mesh as the host holds it: vertices, faces, texture vertices and faces.
double RawMegabytes(const Grid& g)
{
    return double(g.Verts() * (12 + 12) + g.Triangles() * (20 + 12)) / (1024.0 * 1024.0);
}

void WriteJson(const Grid& g, FILE* f)
{
    std::fputs("{\"format\": \"vek-scene/1\",\n"
               " \"texmaps\": {\"grass\": {\"class\": \"bitmap\", \"file\": "
               "\"D:\\\\Engine\\\\Partition\\\\maps\\\\grass.bmp\"}},\n"
               " \"materials\": {\"grass\": {\"name\": \"Grass\", \"diffuseMap\": \"grass\"}},\n"
               " \"objects\": {\"field\": {\"type\": \"mesh\",\n  \"verts\": [",
               f);
    float p[3], uv[2];
    for (int j = 0; j < g.Side(); j++)
        for (int i = 0; i < g.Side(); i++) {
            g.Vertex(i, j, p, uv);
            std::fprintf(f, "%s[%.6f, %.6f, %.6f]", i + j ? ",\n" : "", p[0], p[1], p[2]);
        }
    // Two triangles per quad sharing the hidden diagonal: edges 0-1 and 1-2 visible.
    const char* sep = "";
    std::fputs("],\n  \"faces\": [", f);
    long long q[4];
    for (int j = 0; j < g.n; j++)
        for (int i = 0; i < g.n; i++, sep = ",\n") {
            g.Quad(i, j, q);
            std::fprintf(f, "%s{\"v\": [%lld, %lld, %lld], \"edges\": 3},\n{\"v\": [%lld, %lld, %lld], \"edges\": 3}",
                         sep, q[0], q[1], q[2], q[2], q[3], q[0]);
        }
    std::fputs("],\n  \"tverts\": [", f);
    for (int j = 0; j < g.Side(); j++)
        for (int i = 0; i < g.Side(); i++) {
            g.Vertex(i, j, p, uv);
            std::fprintf(f, "%s[%.6f, %.6f, 0]", i + j ? ",\n" : "", uv[0], uv[1]);
        }
    std::fputs("],\n  \"tvfaces\": [", f);
    sep = "";
    for (int j = 0; j < g.n; j++)
        for (int i = 0; i < g.n; i++, sep = ",\n") {
            g.Quad(i, j, q);
            std::fprintf(f, "%s[%lld, %lld, %lld],\n[%lld, %lld, %lld]", sep, q[0], q[1], q[2], q[2], q[3], q[0]);
        }
    std::fputs("]}},\n \"nodes\": [{\"name\": \"Field\", \"object\": \"field\", \"material\": \"grass\"}]}\n", f);
}

void WriteObj(const Grid& g, FILE* f)
{
    float p[3], uv[2];
    for (int j = 0; j < g.Side(); j++)
        for (int i = 0; i < g.Side(); i++) {
            g.Vertex(i, j, p, uv);
            std::fprintf(f, "v %.6f %.6f %.6f\nvt %.6f %.6f\n", p[0], p[1], p[2], uv[0], uv[1]);
        }
    std::fputs("g Field\n", f);
    long long q[4];
    for (int j = 0; j < g.n; j++)
        for (int i = 0; i < g.n; i++) {
            g.Quad(i, j, q);
            std::fprintf(f, "f %lld/%lld %lld/%lld %lld/%lld %lld/%lld\n", q[0] + 1, q[0] + 1, q[1] + 1, q[1] + 1,
                         q[2] + 1, q[2] + 1, q[3] + 1, q[3] + 1);
        }
}

void WritePly(const Grid& g, FILE* f)
{
    std::fprintf(f,
                 "ply\nformat binary_little_endian 1.0\nelement vertex %lld\nproperty float x\nproperty float y\n"
                 "property float z\nproperty float s\nproperty float t\nelement face %lld\n"
                 "property list uchar int vertex_indices\nend_header\n",
                 g.Verts(), static_cast<long long>(g.n) * g.n);
    float p[5];
    for (int j = 0; j < g.Side(); j++)
        for (int i = 0; i < g.Side(); i++) {
            g.Vertex(i, j, p, p + 3);
            std::fwrite(p, sizeof(float), 5, f); // the machine is little-endian
        }
    long long q[4];
    for (int j = 0; j < g.n; j++)
        for (int i = 0; i < g.n; i++) {
            g.Quad(i, j, q);
            unsigned char count = 4;
            int32_t v[4] = {int32_t(q[0]), int32_t(q[1]), int32_t(q[2]), int32_t(q[3])};
            std::fwrite(&count, 1, 1, f);
            std::fwrite(v, sizeof(v), 1, f);
        }
}

// The scene file of this size and format, made when missing.
fs::path SceneFile(const fs::path& dir, const Size& size, const FormatInfo& format)
{
    fs::path path = dir / (std::string("field-") + size.label + format.extension);
    if (fs::exists(path))
        return path;
    fs::path partial = path;
    partial += ".part";
    FILE* f = std::fopen(partial.c_str(), "wb");
    if (!f) {
        std::perror(partial.c_str());
        std::exit(2);
    }
    std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
    Grid g{size.quads};
    if (format.format == Format::Json)
        WriteJson(g, f);
    else if (format.format == Format::Obj)
        WriteObj(g, f);
    else
        WritePly(g, f);
    std::fclose(f);
    fs::rename(partial, path);
    return path;
}

// ---- runs ----

struct Run {
    bool ok = false;
    double cpu = 0;                  // user + system seconds
    double peak = 0;                 // MiB
    double load = 0, exportOnly = 0; // in-process phases, seconds (phase runs only)
};

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

// Waits for child pid; its CPU time and peak resident size.
Run Reap(pid_t pid)
{
    int status = 0;
    rusage usage{};
    Run run;
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.peak = double(usage.ru_maxrss) / 1024.0;
    return run;
}

Run Execute(const std::vector<std::string>& argv)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    return Reap(pid);
}

double CpuNow()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// Load and export timed apart in a child, the export module linked in.
Run Phases(const fs::path& scene, const fs::path& out, const fs::path& config)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeEnds[0]);
        vek::test::LinkedModule();
        SetMessageBoxHandler([](HWND, const char*, const char*, UINT) { return IDOK; });
        double times[2] = {0, 0};
        double start = CpuNow();
        try {
            auto loaded = vek::LoadSceneFile(scene.string());
            times[0] = CpuNow() - start;
            loaded->SetPluginConfigDir(config.string());
            loaded->Activate();
            SceneExporter exporter;
            start = CpuNow();
            if (!exporter.DoExport(out.c_str(), nullptr, loaded.get(), TRUE, 0))
                _exit(1);
            times[1] = CpuNow() - start;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            _exit(1);
        }
        if (write(pipeEnds[1], times, sizeof(times)) != sizeof(times))
            _exit(1);
        _exit(0);
    }
    close(pipeEnds[1]);
    double times[2] = {0, 0};
    bool got = read(pipeEnds[0], times, sizeof(times)) == sizeof(times);
    close(pipeEnds[0]);
    Run run = Reap(pid);
    run.ok = run.ok && got;
    run.load = times[0];
    run.exportOnly = times[1];
    return run;
}

// The median CPU time (and of the phases), the largest peak.
template <class F> Run Measure(int runs, F once)
{
    std::vector<Run> all;
    all.reserve(size_t(runs));
    for (int k = 0; k < runs; k++)
        all.push_back(once());
    Run m;
    m.ok = std::all_of(all.begin(), all.end(), [](const Run& r) { return r.ok; });
    auto median = [&](double Run::*field) {
        std::vector<double> v;
        v.reserve(all.size());
        for (const Run& r : all)
            v.push_back(r.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    m.cpu = median(&Run::cpu);
    m.load = median(&Run::load);
    m.exportOnly = median(&Run::exportOnly);
    for (const Run& r : all)
        m.peak = std::max(m.peak, r.peak);
    return m;
}

bool HaveAssimp()
{
    Run r = Execute({"assimp", "version"});
    return r.ok;
}

struct Options {
    std::vector<Size> sizes;
    int runs = 1;
    bool assimp = true;
    fs::path build, dir;
};

Options ParseArguments(int argc, char** argv)
{
    Options o;
    std::string sizes = "62k,250k,1M,4M";
    for (int k = 1; k < argc; k++) {
        std::string a = argv[k];
        if (a == "--sizes" && k + 1 < argc)
            sizes = argv[++k];
        else if (a == "--runs" && k + 1 < argc)
            o.runs = std::max(1, std::atoi(argv[++k]));
        else if (a == "--no-assimp")
            o.assimp = false;
        else if (a == "--dir" && k + 1 < argc)
            o.dir = argv[++k];
        else if (o.build.empty() && a[0] != '-')
            o.build = a;
        else {
            std::fprintf(stderr, "usage: vek_process_bench [--sizes 62k,250k,1M,4M] [--runs N] [--no-assimp] "
                                 "[--dir DIR] BUILD_DIR\n");
            std::exit(2);
        }
    }
    if (o.build.empty())
        o.build = ".";
    if (o.dir.empty())
        o.dir = o.build / "bench-scenes";
    for (const Size& s : SIZES)
        if (("," + sizes + ",").find("," + std::string(s.label) + ",") != std::string::npos)
            o.sizes.push_back(s);
    return o;
}

std::string Cell(const Run& r, double triangles)
{
    if (!r.ok)
        return "failed";
    char buf[96];
    std::snprintf(buf, sizeof(buf), "%.2f s, %.2f M/s", r.cpu, triangles / r.cpu / 1e6);
    return buf;
}

} // namespace

int main(int argc, char** argv)
{
    Options o = ParseArguments(argc, argv);
    fs::create_directories(o.dir);
    const fs::path config = o.dir / "config", out = o.dir / "out";
    fs::create_directories(config);
    fs::create_directories(out);
    WriteOptionsFile(config, DefaultExportOptions);
    const std::string vekexport = (o.build / "vekexport").string();
    const bool assimp = o.assimp && HaveAssimp();
    if (!assimp)
        std::fprintf(stderr, "vek_process_bench: assimp not run (install assimp-utils to compare)\n");

    std::printf("CPU seconds (user + system)%s, triangles per CPU second, peak resident memory\n\n",
                o.runs > 1 ? ", medians" : "");
    std::printf("| triangles | input | file MiB | vekexport | peak MiB (of 3x raw mesh + file) | load | export | "
                "`--render` (of vekexport) | `assimp export` | vekexport / assimp |\n"
                "|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Size& size : o.sizes) {
        Grid g{size.quads};
        const double triangles = double(g.Triangles());
        for (const FormatInfo& format : FORMATS) {
            fs::path scene = SceneFile(o.dir, size, format);
            const double fileMB = double(fs::file_size(scene)) / (1024.0 * 1024.0);
            fs::path vek = out / (std::string("field-") + size.label + ".vek");
            Run whole = Measure(o.runs, [&] {
                return Execute(
                    {vekexport, "--no-prompt", "--config-dir", config.string(), scene.string(), vek.string()});
            });
            const Run phases = Measure(o.runs, [&] { return Phases(scene, vek, config); });
            char load[32], exportOnly[64];
            std::snprintf(load, sizeof(load), "%.2f s", phases.load);
            std::snprintf(exportOnly, sizeof(exportOnly), "%.2f s (x%.2f)", phases.exportOnly,
                          phases.exportOnly > 0 ? whole.cpu / phases.exportOnly : 0.0);
            // The picture of the file written, at the default size, beside the export that wrote it.
            const fs::path picture = out / (std::string("field-") + size.label + ".png");
            Run drawn = Measure(o.runs, [&] {
                return Execute({vekexport, "--render", vek.string(), picture.string()});
            });
            char render[64];
            std::snprintf(render, sizeof(render), "%.2f s (%.2f)", drawn.cpu,
                          drawn.ok && whole.ok ? drawn.cpu / whole.cpu : 0.0);
            fs::remove(picture);
            std::string theirs = "", ratio = "";
            if (assimp) {
                fs::path target = out / (std::string("assimp-") + size.label + "." + format.assimpFormat);
                // JSON has no assimp reader: the same model as OBJ stands in for it.
                fs::path input = format.format == Format::Json ? SceneFile(o.dir, size, FORMATS[1]) : scene;
                Run a = Measure(o.runs, [&] {
                    return Execute(
                        {"assimp", "export", input.string(), target.string(), std::string("-f") + format.assimpFormat});
                });
                theirs = std::string(format.format == Format::Json ? "OBJ" : format.name) + " to " +
                         (format.format == Format::Ply ? "ASCII PLY" : "OBJ") + ": " + Cell(a, triangles);
                char buf[32];
                std::snprintf(buf, sizeof(buf), "%.2f", a.ok && whole.ok ? whole.cpu / a.cpu : 0.0);
                ratio = buf;
                fs::remove(target);
            }
            char peak[64];
            std::snprintf(peak, sizeof(peak), "%.0f (%.0f %%)", whole.peak,
                          100.0 * whole.peak / (3 * RawMegabytes(g) + fileMB));
            std::printf("| %s | %s | %.0f | %s | %s | %s | %s | %s | %s | %s |\n", size.label, format.name, fileMB,
                        Cell(whole, triangles).c_str(), peak, load, exportOnly, render, theirs.c_str(), ratio.c_str());
            std::fflush(stdout);
            fs::remove(vek);
        }
    }
    return 0;
}
