#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/slurm_submit.h"
#include "movie/frame_loop.h"
#include "movie/plan.h"
#include "output/movie_file.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "settings/start_conversion.h"

extern char** environ;

namespace zr {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxTasks = 100000;

// The options submit keeps to itself; every other one goes on to the renders.
bool submitOwnOption(std::string_view name) {
    for (const CliOption& option : findCliCommand("submit")->options) {
        if (option.name == name)
            return true;
    }
    return false;
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// The options of the command line that every render gets, in the order given, with the files
// and folders they name made absolute so that every node finds them.
std::vector<std::string> renderOptionsOf(const CliCommand& command,
                                         const std::vector<std::string>& args) {
    const std::vector<CliOption> options = commandOptions(command);
    ParsedArguments parsed;
    std::string ignored;
    parseArguments(options, args, parsed, ignored);
    std::vector<std::string> words;
    for (const auto& given : parsed.options) {
        const std::string& name = given.first;
        const std::string& value = given.second;
        if (submitOwnOption(name))
            continue;
        words.push_back(name);
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&](const CliOption& o) { return o.name == name; });
        if (option == options.end() || option->valueName.empty())
            continue;
        const bool path = option->completion == ValueCompletion::kFile ||
                          option->completion == ValueCompletion::kFolder ||
                          option->completion == ValueCompletion::kSettingsFile;
        words.push_back(path ? absolutePath(value) : value);
    }
    return words;
}

// The program running now, as the nodes find it on the shared storage (or installed alike).
std::string thisProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string("zoomreel-cli") : self.string();
}

// Runs `words` (the program looked up on PATH) with its standard output kept and its standard
// error going on to ours. The exit status; -1 with `output` saying why when it did not start.
int runProgram(const std::vector<std::string>& words, std::string& output) {
    output.clear();
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        output = std::strerror(errno);
        return -1;
    }
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        output = std::strerror(spawned);
        return -1;
    }
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (got > 0)
            output.append(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR)
            break;
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Submits a batch script; the job number sbatch gives, or empty after saying why not.
std::string submitScript(std::vector<std::string> words, const std::string& script) {
    words.push_back(script);
    std::string output;
    const int status = runProgram(words, output);
    if (status != 0) {
        std::cerr << "zoomreel-cli submit: ";
        if (status < 0) {
            std::cerr << "cannot run sbatch: " << output
                      << "; submit needs Slurm's commands on this machine (--dry-run prints the "
                         "scripts without them)\n";
        } else {
            std::cerr << "sbatch refused " << script << " (exit status " << status << ")\n";
        }
        return {};
    }
    // "--parsable" prints the job number, then ";cluster" on a federation.
    const std::size_t end = output.find_first_not_of("0123456789");
    const std::string job = output.substr(0, end);
    if (job.empty())
        std::cerr << "zoomreel-cli submit: sbatch gave no job number for " << script << ": "
                  << output << '\n';
    return job;
}

bool writeScript(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    std::error_code error;
    fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, error);
    if (!file) {
        std::cerr << "zoomreel-cli submit: cannot write " << path
                  << "; check that the folder is writable\n";
        return false;
    }
    return true;
}

}  // namespace

int runSubmitCommand(const std::vector<std::string>& args) {
    const CliCommand& command = *findCliCommand("submit");
    CommandLine commandLine;
    if (const std::optional<int> status = readCommandLine(command, args, commandLine))
        return *status;
    const auto tasks = parseInteger(commandLine.extra("--tasks"), 1, kMaxTasks);
    if (!tasks)
        return usageError(
            command, "--tasks: expected a whole number from 1 to " + std::to_string(kMaxTasks));
    SlurmRender render;
    if (commandLine.hasExtra("--cpus-per-task")) {
        const auto cpus = parseInteger(commandLine.extra("--cpus-per-task"), 1, 100000);
        if (!cpus)
            return usageError(command, "--cpus-per-task: expected a whole number from 1 on");
        render.cpusPerTask = static_cast<int>(*cpus);
    }

    // The movie the renders will make, planned here to share its files.
    MemoryControls controls;
    if (applyCommandLine(commandLine, controls, std::cerr) != 0)
        return 1;
    const StartConversionResult start = convertControlsForStart(controls);
    if (!start.ok) {
        std::cerr << "zoomreel-cli submit: " << start.message << '\n';
        return 1;
    }
    const int keyFrameCount = static_cast<int>(listRunKeyFrames(start.spec).size());
    if (keyFrameCount == 0) {
        std::cerr << "zoomreel-cli submit: Invalid Folder: \"" << commandLine.folder
                  << "\" holds no key frame file (*.zmb) and no picture\n";
        return 1;
    }
    std::string error;
    const std::optional<MoviePlan> plan = planMovie(start.spec, keyFrameCount, &error);
    if (!plan) {
        std::cerr << "zoomreel-cli submit: " << error << '\n';
        return 1;
    }
    if (plan->totalFrames == 0 || start.spec.output.testOnly || start.spec.output.skipRender) {
        std::cerr << "zoomreel-cli submit: the render would write no movie file"
                  << (plan->totalFrames == 0 ? " (it makes no frame)" : "") << '\n';
        return 1;
    }
    if (plan->movieFileCount > static_cast<long long>(plan->movieFiles.size())) {
        std::cerr << "zoomreel-cli submit: the movie has " << plan->movieFileCount
                  << " files, more than can be shared out; choose more frames per movie file\n";
        return 1;
    }
    std::vector<long long> framesPerFile;
    for (const PlannedMovieFile& file : plan->movieFiles) {
        framesPerFile.push_back(file.frames);
        render.movieFiles.push_back(file.name);
    }
    render.shares = shareMovieFiles(framesPerFile, static_cast<int>(*tasks));
    for (const MovieFileRange& share : render.shares) {
        long long frames = 0;
        for (int file = share.first; file <= share.last; ++file)
            frames += framesPerFile[static_cast<std::size_t>(file)];
        render.sharedFrames.push_back(frames);
    }

    render.program = thisProgram();
    render.folder = absolutePath(commandLine.folder);
    render.workFolder = absolutePath(".");
    render.scriptFolder = (fs::path(render.folder) / "slurm").string();
    render.renderOptions = renderOptionsOf(command, args);
    const std::string renderScript = (fs::path(render.scriptFolder) / "render.sbatch").string();
    const std::string joinScript = (fs::path(render.scriptFolder) / "join.sbatch").string();
    const std::string movie =
        (fs::path(render.folder) / ("film_joined." + std::string(kDefaultMovieExtension))).string();
    const std::vector<std::string> sbatch = {"sbatch", "--parsable"};
    const std::string dependency = "--dependency=afterok:";
    const std::string cancelJoin = "--kill-on-invalid-dep=yes";

    const std::size_t shares = render.shares.size();
    if (shares < static_cast<std::size_t>(*tasks)) {
        std::cerr << "zoomreel-cli submit: the movie has " << shares << " file"
                  << (shares == 1 ? "" : "s") << ": " << shares << " task"
                  << (shares == 1 ? "" : "s") << " instead of " << *tasks << '\n';
    }
    if (commandLine.hasExtra("--dry-run")) {
        std::cout << "# " << renderScript << '\n'
                  << renderBatchScript(render) << "\n# " << joinScript << '\n'
                  << joinBatchScript(render) << "\n# submitted with\n"
                  << "sbatch --parsable " << shellWord(renderScript) << '\n'
                  << "sbatch --parsable " << dependency << "RENDER_JOB " << cancelJoin << ' '
                  << shellWord(joinScript) << '\n';
        return 0;
    }

    std::error_code made;
    fs::create_directories(render.scriptFolder, made);
    if (made) {
        std::cerr << "zoomreel-cli submit: cannot make the folder " << render.scriptFolder << ": "
                  << made.message() << '\n';
        return 1;
    }
    if (!writeScript(renderScript, renderBatchScript(render)) ||
        !writeScript(joinScript, joinBatchScript(render))) {
        return 1;
    }
    const std::string renderJob = submitScript(sbatch, renderScript);
    if (renderJob.empty())
        return 1;
    std::cout << "render: job array " << renderJob << ", " << shares << " task"
              << (shares == 1 ? "" : "s") << " (" << renderScript << ")\n";
    const std::string joinJob =
        submitScript({"sbatch", "--parsable", dependency + renderJob, cancelJoin}, joinScript);
    if (joinJob.empty()) {
        std::cerr << "zoomreel-cli submit: the render runs; once it has ended, join its files "
                     "with: sbatch "
                  << shellWord(joinScript) << '\n';
        return 1;
    }
    std::cout << "join: job " << joinJob << ", once every task has succeeded (" << joinScript
              << ")\n"
              << "movie: " << movie << '\n'
              << "logs: " << render.scriptFolder << '\n';
    return 0;
}

}  // namespace zr
