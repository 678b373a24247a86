// The whole program as its user meets it: build/bin/tessaly started as a process on an Xvfb
// display of its own with the SDL presenter and the null sound device, watched from outside
// through the X server's own pixels and driven with synthetic X input (XTest). Printed against
// their goals:
//   - process start to the main dialog shown with a 100-recording card listed, the splash's
//     second included (goal under 1.5 s), and the idle viewer's resident memory (under 150 MB);
//   - on a 1080p30 card (mkcard card, the camera's bit rate): process start to the first
//     listed recording (under 1.5 s); the second press of a double click on the first row to
//     the first picture in the front window (under 300 ms); the viewer's CPU while it plays the
//     pair at 1x against two ffplay processes playing the same two files on the same display
//     at the sizes of the viewer's two windows (ratio at most 1.0); its resident memory while
//     playing (under 300 MB).
// A moment counts once the X server holds its pixels: the list's first row carries text, the
// front window shows a picture (a column of many colours that differs from what it showed
// before the double click). Skipped when Xvfb, ffplay or the X test extension is missing.
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RecordingInputs.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Where the main dialog's parts sit on the 1920x1080 screen: the dialog opens at the top left.
struct Box {
    int x, y, w, h;
};
// The boxes are read every 2 ms while a moment is awaited, so they are kept small: reading the
// screen goes through the same X server the viewer draws to.
constexpr Box kFirstRow = {660, 474, 280, 12};     // the Continuous list's first row
constexpr Box kFront = {320, 120, 1, 340};         // a column down the front video window
// A column through the centred splash beside the dialog: the bare root window once the splash
// is gone (the dialog shows only after it).
constexpr Box kSplashAside = {1100, 390, 1, 300};
constexpr int kFirstRowX = 732, kFirstRowY = 480;  // a point of the first row's text
constexpr int kCloseX = 934, kCloseY = 13;         // the dialog's close button
// The viewer's two video windows, the sizes ffplay's windows are given.
constexpr int kFrontSize[2] = {640, 360};
constexpr int kRearSize[2] = {320, 240};
constexpr int kPlaySeconds = 20;  // the CPU and memory window while playing
constexpr int kCardSeconds = 30;  // each recording of the 1080p card: warm-up and window fit

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void SleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool OnPath(const char* tool)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':'))
        if (!folder.empty() && access((fs::path(folder) / tool).c_str(), X_OK) == 0)
            return true;
    return false;
}

// A child process of the benchmark: killed with the benchmark if that dies first, and ended
// (then reaped) by its destructor if it still runs.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& log, int keepFd = -1)
    {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            if (out >= 0) {
                dup2(out, 1);
                dup2(out, 2);
            }
            const int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            if (keepFd >= 0)
                fcntl(keepFd, F_SETFD, 0);
            execvpe(args[0], args.data(), envp.data());
            _exit(127);
        }
        if (out >= 0)
            close(out);
    }
    ~Child() { Stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return m_pid; }
    bool Running()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = status;
            m_pid = -1;
            return false;
        }
        return true;
    }
    // Waits up to `seconds` for the process to end by itself.
    bool WaitEnd(double seconds)
    {
        const auto start = Clock::now();
        while (Running() && Since(start) < seconds)
            SleepSeconds(0.02);
        return !Running();
    }
    void Stop()
    {
        if (!Running())
            return;
        kill(m_pid, SIGTERM);
        if (!WaitEnd(3)) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &m_status, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

// CPU seconds (user and system, every thread) a running process has used so far.
double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return NAN;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && fields >> field; ++n)
        if (n >= 14)
            ticks += std::atof(field.c_str());
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double ResidentMegabytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return NAN;
}

// The files a process holds open whose names end with `suffix`.
std::vector<std::string> OpenFiles(pid_t pid, const std::string& suffix)
{
    std::set<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code ignored;
        const std::string target = fs::read_symlink(entry.path(), ignored).string();
        if (target.size() > suffix.size() &&
            target.compare(target.size() - suffix.size(), suffix.size(), suffix) == 0)
            found.insert(target);
    }
    return {found.begin(), found.end()};
}

// An Xvfb display of its own, read and driven through Xlib and the X test extension.
class Display {
public:
    // Empty on success, else why the display cannot be had.
    std::string Open(const fs::path& work)
    {
        m_xtest = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!m_xtest)
            return "the X test extension's library (libXtst.so.6) is missing";
        m_motion = reinterpret_cast<FakeMotion>(dlsym(m_xtest, "XTestFakeMotionEvent"));
        m_button = reinterpret_cast<FakeButton>(dlsym(m_xtest, "XTestFakeButtonEvent"));
        if (!m_motion || !m_button)
            return "libXtst.so.6 lacks XTestFakeMotionEvent or XTestFakeButtonEvent";
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return "no pipe for Xvfb";
        m_server = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                     "1920x1080x24", "-nolisten", "tcp", "-br"},
            Environment({}), (work / "xvfb.log").string(), fds[1]);
        close(fds[1]);
        std::string number;
        char c;
        const auto start = Clock::now();
        while (Since(start) < 20 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty())
            return "Xvfb gave no display number";
        m_name = ":" + number;
        m_display = XOpenDisplay(m_name.c_str());
        if (!m_display)
            return "cannot open the display " + m_name;
        return {};
    }
    ~Display()
    {
        if (m_display)
            XCloseDisplay(m_display);
        m_server.reset();
        if (m_xtest)
            dlclose(m_xtest);
    }

    const std::string& Name() const { return m_name; }

    // The current environment without any display of the desktop, plus `extra`.
    static std::vector<std::string> Environment(const std::vector<std::string>& extra)
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0)
                continue;
            bool replaced = false;
            for (const std::string& x : extra)
                replaced = replaced || entry.substr(0, entry.find('=') + 1) ==
                                           x.substr(0, x.find('=') + 1);
            if (!replaced)
                env.push_back(entry);
        }
        env.insert(env.end(), extra.begin(), extra.end());
        return env;
    }

    // The pixels of a box of the screen as 0xRRGGBB, row by row.
    std::vector<uint32_t> Read(const Box& box)
    {
        std::vector<uint32_t> pixels;
        XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), box.x, box.y,
                                  unsigned(box.w), unsigned(box.h), AllPlanes, ZPixmap);
        if (!image)
            return pixels;
        pixels.reserve(size_t(box.w) * size_t(box.h));
        for (int y = 0; y < box.h; ++y)
            for (int x = 0; x < box.w; ++x)
                pixels.push_back(uint32_t(XGetPixel(image, x, y)) & 0xFFFFFF);
        XDestroyImage(image);
        return pixels;
    }

    void Move(int x, int y)
    {
        m_motion(m_display, DefaultScreen(m_display), x, y, 0);
        XSync(m_display, False);
    }
    void Button(bool press)
    {
        m_button(m_display, 1, press ? True : False, 0);
        XSync(m_display, False);
    }
    // A click where the pointer is, the presenter having seen the pointer arrive there first.
    void ClickAt(int x, int y)
    {
        Move(x - 3, y - 3);
        SleepSeconds(0.2);
        Move(x, y);
        SleepSeconds(0.3);
        Button(true);
        Button(false);
    }

private:
    typedef int (*FakeMotion)(::Display*, int, int, int, unsigned long);
    typedef int (*FakeButton)(::Display*, unsigned int, int, unsigned long);

    std::unique_ptr<Child> m_server;
    ::Display* m_display = nullptr;
    std::string m_name;
    void* m_xtest = nullptr;
    FakeMotion m_motion = nullptr;
    FakeButton m_button = nullptr;
};

size_t DistinctColours(const std::vector<uint32_t>& pixels)
{
    return std::set<uint32_t>(pixels.begin(), pixels.end()).size();
}

// The share of pixels that differ clearly between two reads of one box.
double ChangedShare(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.empty() || a.size() != b.size())
        return 1;
    size_t changed = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int d = 0;
        for (int shift : {0, 8, 16})
            d += std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF));
        changed += d > 30;
    }
    return double(changed) / double(a.size());
}

// Polls `ready` every 2 ms or so; the seconds from `start` to the first true, or NAN
// when `timeout` seconds pass first or `alive` turns false.
double Until(Clock::time_point start, double timeout, const std::function<bool()>& ready,
             const std::function<bool()>& alive)
{
    while (Since(start) < timeout) {
        if (ready())
            return Since(start);
        if (!alive())
            return NAN;
        SleepSeconds(0.002);
    }
    return NAN;
}

// Waits until the process uses less than 5 % of one core over half a second (the start-up's
// work, the parsing thread's included, done), at most `timeout` seconds.
bool WaitIdle(pid_t pid, double timeout)
{
    const auto start = Clock::now();
    double cpu = CpuSeconds(pid);
    while (Since(start) < timeout) {
        SleepSeconds(0.5);
        const double now = CpuSeconds(pid);
        if (now - cpu < 0.025)
            return true;
        cpu = now;
    }
    return false;
}

// The benchmark's world: the display, the cards and the folders, made once.
struct World {
    std::string skip;  // why the benchmarks cannot run, empty when they can
    Display display;
    fs::path work;
    fs::path hundredCard;
    fs::path hdCard;
    int runs = 0;

    World()
    {
        work = bench::BuildDir() / "bench-inputs" / "viewer-process";
        fs::create_directories(work);
        for (const char* tool : {"Xvfb", "ffplay"})
            if (!OnPath(tool)) {
                skip = std::string(tool) + " is not installed";
                return;
            }
        if (!fs::exists(bench::BuildDir() / "bin" / "tessaly")) {
            skip = "the program build/bin/tessaly is not built";
            return;
        }
        hundredCard = HundredCard();
        hdCard = HdCard();
        skip = display.Open(work);
    }

    // A card of 100 recordings: 50 one-minute 1080p front/rear pairs in the continuous folder,
    // hard links to one pair, beside a real card's settings files.
    static fs::path HundredCard() { return bench::CardOfPairs("process-startup-card", 50); }

    // mkcard's card at 1920x1080, 30 pictures a second and the camera's bit rate.
    static fs::path HdCard()
    {
        const std::string name = "card-1920x1080-" + std::to_string(kCardSeconds) + "s-30fps-" +
                                 std::to_string(bench::kCameraKbps) + "k";
        const fs::path folder = bench::BuildDir() / "bench-inputs" / name;
        if (fs::exists(folder / "setting"))
            return folder;
        std::fprintf(stderr, "writing the benchmark card %s ...\n", name.c_str());
        const fs::path part = folder.string() + ".part";
        fs::remove_all(part);
        const std::string command = (bench::BuildDir() / "bin" / "mkcard").string() + " card '" +
                                    part.string() + "' --size 1920x1080 --fps 30 --bitrate " +
                                    std::to_string(bench::kCameraKbps) + " --seconds " +
                                    std::to_string(kCardSeconds) + " >/dev/null";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("mkcard failed: " + command);
        fs::rename(part, folder);
        return folder;
    }

    // The viewer on `card`, with a fresh registry and a session of its own.
    std::unique_ptr<Child> StartViewer(const fs::path& card)
    {
        const fs::path home = work / ("home-" + std::to_string(++runs));
        fs::remove_all(home);
        fs::create_directories(home);
        const std::vector<std::string> env = Display::Environment({
            "DISPLAY=" + display.Name(),
            "PLATFORM_PRESENTER=sdl",
            "PLATFORM_AUDIO=null",
            "PLATFORM_HOME=" + home.string(),
            "XDG_CONFIG_HOME=" + home.string(),
            "PLATFORM_REMOVABLE_DRIVES=" + card.string(),
            "PLATFORM_SESSION=viewer-process-bench-" + std::to_string(getpid()),
        });
        return std::make_unique<Child>(
            std::vector<std::string>{(bench::BuildDir() / "bin" / "tessaly").string()}, env,
            (work / "viewer.log").string());
    }

    // Starts the viewer on `card` and waits until its first recording is listed: `*listed` is
    // the time from the start, NaN when nothing was listed within 20 s.
    std::unique_ptr<Child> StartUntilListed(const fs::path& card, double* listed)
    {
        const auto start = Clock::now();
        auto viewer = StartViewer(card);
        Child* child = viewer.get();
        *listed = Until(start, 20, [this] { return Listed(); },
                        [child] { return child->Running(); });
        return viewer;
    }

    // The splash is gone and the list's first row carries text: the dialog is shown with the
    // card listed.
    bool Listed()
    {
        return DistinctColours(display.Read(kFirstRow)) > 6 &&
               DistinctColours(display.Read(kSplashAside)) == 1;
    }

    // Closes the viewer with its close button, else ends it.
    void Close(std::unique_ptr<Child>& viewer)
    {
        if (viewer->Running()) {
            display.ClickAt(kCloseX, kCloseY);
            if (!viewer->WaitEnd(10))
                std::fprintf(stderr, "the viewer did not end after its close button\n");
        }
        viewer.reset();
        display.Move(1900, 1070);  // out of the way of the next run
    }
};

World& TheWorld()
{
    static World world;
    return world;
}

struct Figures {
    std::vector<double> startHundred, idleHundredMB;
    std::vector<double> startHd, firstPicture, viewerCpu, playingMB, ffplayCpu;
    int doubleClicksRetried = 0;
} g_figures;

// Process start to the main dialog shown with the 100-recording card listed; then the idle
// viewer's resident memory.
void BM_StartToDialogWith100Recordings(benchmark::State& state)
{
    World& world = TheWorld();
    if (!world.skip.empty()) {
        state.SkipWithError(("skipped: " + world.skip).c_str());
        return;
    }
    for (auto _ : state) {
        double listed = 0;
        auto viewer = world.StartUntilListed(world.hundredCard, &listed);
        if (std::isnan(listed)) {
            state.SkipWithError("the viewer showed no listed card within 20 s");
            return;
        }
        state.SetIterationTime(listed);
        g_figures.startHundred.push_back(listed);
        if (!WaitIdle(viewer->Pid(), 30))
            std::fprintf(stderr, "the viewer did not settle within 30 s\n");
        g_figures.idleHundredMB.push_back(ResidentMegabytes(viewer->Pid()));
        world.Close(viewer);
    }
}
BENCHMARK(BM_StartToDialogWith100Recordings)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// On the 1080p card: start to the first listed recording, the double click to the first
// picture, then the CPU and memory of 20 s played at 1x.
void BM_ViewerOn1080pCard(benchmark::State& state)
{
    World& world = TheWorld();
    if (!world.skip.empty()) {
        state.SkipWithError(("skipped: " + world.skip).c_str());
        return;
    }
    for (auto _ : state) {
        double listed = 0;
        auto viewer = world.StartUntilListed(world.hdCard, &listed);
        auto alive = [&] { return viewer->Running(); };
        if (std::isnan(listed)) {
            state.SkipWithError("the viewer showed no listed card within 20 s");
            return;
        }
        state.SetIterationTime(listed);
        g_figures.startHd.push_back(listed);
        WaitIdle(viewer->Pid(), 30);

        // The double click counts from its second press, when the list gets the double click.
        Display& x = world.display;
        const std::vector<uint32_t> before = x.Read(kFront);
        auto picture = [&] {
            const std::vector<uint32_t> now = x.Read(kFront);
            return ChangedShare(before, now) > 0.5 && DistinctColours(now) > 16;
        };
        double shown = NAN;
        for (int attempt = 0; attempt < 3 && std::isnan(shown); ++attempt) {
            if (attempt)
                ++g_figures.doubleClicksRetried;
            x.ClickAt(kFirstRowX, kFirstRowY);
            SleepSeconds(0.08);
            const auto second = Clock::now();
            x.Button(true);
            x.Button(false);
            shown = Until(second, 5, picture, alive);
        }
        if (std::isnan(shown)) {
            state.SkipWithError("no picture within 5 s of three double clicks");
            return;
        }
        g_figures.firstPicture.push_back(shown);

        SleepSeconds(2);
        const pid_t pid = viewer->Pid();
        const double cpu = CpuSeconds(pid);
        const auto window = Clock::now();
        double resident = 0;
        while (Since(window) < kPlaySeconds) {
            resident = std::max(resident, ResidentMegabytes(pid));
            SleepSeconds(0.25);
        }
        g_figures.viewerCpu.push_back((CpuSeconds(pid) - cpu) / Since(window));
        g_figures.playingMB.push_back(resident);
        const std::vector<std::string> played = OpenFiles(pid, ".mp4");
        world.Close(viewer);

        // The same two files in two ffplay processes on the same display, drawn by SDL's
        // software renderer as the presenter's screen is, the sound on SDL's dummy device.
        if (played.size() != 2) {
            state.SkipWithError("the viewer did not hold a front and a rear file open");
            return;
        }
        std::vector<std::unique_ptr<Child>> players;
        const std::vector<std::string> env = Display::Environment(
            {"DISPLAY=" + x.Name(), "SDL_AUDIODRIVER=dummy", "SDL_RENDER_DRIVER=software"});
        for (int i = 0; i < 2; ++i) {
            const std::string& file = played[i];
            const int* size = file.find("_R.") != std::string::npos ? kRearSize : kFrontSize;
            players.push_back(std::make_unique<Child>(
                std::vector<std::string>{"ffplay", "-v", "quiet", "-nostats", "-x",
                                         std::to_string(size[0]), "-y", std::to_string(size[1]),
                                         file},
                env, (world.work / "ffplay.log").string()));
        }
        SleepSeconds(2 + shown);
        double ffplayBefore = 0;
        for (auto& p : players)
            ffplayBefore += CpuSeconds(p->Pid());
        const auto ffplayWindow = Clock::now();
        SleepSeconds(kPlaySeconds);
        double ffplayAfter = 0;
        bool bothPlayed = true;
        for (auto& p : players) {
            bothPlayed = bothPlayed && p->Running();
            ffplayAfter += CpuSeconds(p->Pid());
        }
        const double elapsed = Since(ffplayWindow);
        players.clear();
        if (!bothPlayed) {
            state.SkipWithError("an ffplay process ended before the window did");
            return;
        }
        g_figures.ffplayCpu.push_back((ffplayAfter - ffplayBefore) / elapsed);
    }
}
BENCHMARK(BM_ViewerOn1080pCard)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void PrintFigures()
{
    if (!TheWorld().skip.empty()) {
        std::printf("the viewer as a process was not measured: %s\n", TheWorld().skip.c_str());
        return;
    }
    const Figures& f = g_figures;
    auto line = [](const char* what, const std::vector<double>& values, double goal,
                   const char* unit, double scale) {
        if (values.empty())
            return;
        std::string all;
        for (double v : values) {
            char one[32];
            std::snprintf(one, sizeof one, "%s%.0f", all.empty() ? "" : " ", v * scale);
            all += one;
        }
        const double median = Median(values);
        std::printf("%s: median %.0f %s (runs: %s), %.2f of the %.0f %s allowed\n", what,
                    median * scale, unit, all.c_str(), median / goal, goal * scale, unit);
    };
    line("process start to the main dialog with 100 recordings listed", f.startHundred, 1.5,
         "ms", 1000);
    line("idle viewer with the 100-recording card, resident", f.idleHundredMB, 150, "MB", 1);
    line("process start to the first listed recording (1080p30 card)", f.startHd, 1.5, "ms",
         1000);
    line("double click (second press) to the first picture", f.firstPicture, 0.3, "ms", 1000);
    if (f.doubleClicksRetried)
        std::printf("  (%d double clicks were not taken and were given again)\n",
                    f.doubleClicksRetried);
    line("resident memory while playing the 1080p30 pair", f.playingMB, 300, "MB", 1);
    if (!f.viewerCpu.empty() && !f.ffplayCpu.empty()) {
        const double ours = Median(f.viewerCpu);
        const double theirs = Median(f.ffplayCpu);
        std::printf("1x playback: viewer %.3f CPU s per played s, two ffplay %.3f: ratio %.2f "
                    "(goal <= 1.0)\n",
                    ours, theirs, ours / theirs);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    PrintFigures();
    benchmark::Shutdown();
    return 0;
}
