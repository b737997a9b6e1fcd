#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/planned_movie.h"
#include "app/slurm_submit.h"
#include "movie/frame_composer.h"
#include "movie/frame_loop.h"
#include "movie/movie_fingerprint.h"
#include "movie/plan.h"
#include "movie/render_job.h"
#include "output/avi_writer.h"
#include "output/movie_file.h"
#include "output/movie_files.h"
#include "output/movie_record.h"
#include "settings/parameters.h"
#include "settings/setting_types.h"
#include "support/safe_file.h"

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

std::string absolutePath(const std::string& path, const fs::path& base = fs::path()) {
    if (path.empty())
        return path;
    std::error_code error;
    const fs::path absolute = base.empty() || fs::path(path).is_absolute()
                                  ? fs::absolute(path, error)
                                  : fs::absolute(base / path, error);
    return error ? path : absolute.lexically_normal().string();
}

// One option of the command line with its value ready for a script: the files it names made
// absolute.
struct GivenOption {
    std::string name;
    std::string value;
    bool hasValue = false;
};

// A --set KEY=VALUE with a relative path made absolute: the movie file and the soundtrack lie
// in the key frame folder, the texture picture is found from the current folder.
std::string absoluteSetting(const std::string& pair, const std::string& folder) {
    const std::size_t equals = pair.find('=');
    const std::string key = pair.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
    if (value.empty())
        return pair;
    if (key == "MOVIEFILE" || key == "SOUND")
        return key + "=" + absolutePath(value, folder);
    if (key == "TEXTUREFILE")
        return key + "=" + absolutePath(value);
    return pair;
}

std::vector<GivenOption> givenOptions(const CliCommand& command,
                                      const std::vector<std::string>& args,
                                      const std::string& folder) {
    const std::vector<CliOption> options = commandOptions(command);
    ParsedArguments parsed;
    std::string ignored;
    parseArguments(options, args, parsed, ignored);
    std::vector<GivenOption> given;
    for (const auto& entry : parsed.options) {
        const std::string& name = entry.first;
        const std::string& value = entry.second;
        if (name == "--save-settings")
            continue;  // submit writes the settings file itself, once, not every task again
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&name](const CliOption& o) { return o.name == name; });
        GivenOption taken{name, value, option != options.end() && !option->valueName.empty()};
        if (taken.hasValue) {
            const bool path = option->completion == ValueCompletion::kFile ||
                              option->completion == ValueCompletion::kFolder ||
                              option->completion == ValueCompletion::kSettingsFile;
            if (path)
                taken.value = absolutePath(value);
            else if (name == "--set")
                taken.value = absoluteSetting(value, folder);
        }
        given.push_back(std::move(taken));
    }
    return given;
}

// A value that begins with "-" goes with its option as one word, so it is not read as an option.
void addOption(std::vector<std::string>& words, const GivenOption& option) {
    if (option.hasValue && option.value.starts_with('-')) {
        words.push_back(option.name + "=" + option.value);
        return;
    }
    words.push_back(option.name);
    if (option.hasValue)
        words.push_back(option.value);
}

bool isSettingsOption(std::string_view name) {
    const std::span<const CliOption> settings = settingsOptions();
    return std::any_of(settings.begin(), settings.end(),
                       [&](const CliOption& option) { return option.name == name; });
}

// The options of every task's render: all but submit's own.
std::vector<std::string> renderOptionsOf(const std::vector<GivenOption>& given) {
    std::vector<std::string> words;
    for (const GivenOption& option : given) {
        if (!submitOwnOption(option.name))
            addOption(words, option);
    }
    return words;
}

std::string decimalText(double value) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

// The options of the join: the render's settings, so that it checks the plan, with the movie
// file options as settings (they chose the split files, which the join copies); the movie it
// writes and the soundtrack it lays over the whole movie.
std::vector<std::string> joinOptionsOf(const std::vector<GivenOption>& given, const MovieSpec& spec,
                                       const std::string& joinedMovie) {
    std::vector<std::string> words;
    for (const GivenOption& option : given) {
        if (isSettingsOption(option.name)) {
            addOption(words, option);
        } else if (const Parameter* parameter = parameterWithFlag(option.name);
                   parameter != nullptr && parameter->movieFile && !parameter->key.empty()) {
            words.push_back("--set");
            words.push_back(std::string(parameter->key) + "=" + option.value);
        }
    }
    words.push_back("--set");
    words.push_back("MOVIEFILE=" + spec.output.firstMovieFile());
    words.push_back("--output");
    words.push_back(joinedMovie);
    const std::string soundtrack = spec.output.soundtrackFile();
    if (!soundtrack.empty()) {
        words.push_back("--audio");
        words.push_back(soundtrack);
        words.push_back("--audio-offset=" + decimalText(spec.output.movieFile.soundtrackOffset));
    }
    return words;
}

// The command that submits the same render again with --resume.
std::vector<std::string> resumeCommandOf(const std::vector<GivenOption>& given,
                                         const std::string& program, const std::string& folder) {
    std::vector<std::string> words = {program, "submit", folder};
    for (const GivenOption& option : given) {
        if (option.name != "--dry-run" && option.name != "--write-only" &&
            option.name != "--resume")
            addOption(words, option);
    }
    words.push_back("--resume");
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
                      << "; submit needs Slurm's commands on this machine (--write-only writes "
                         "the scripts without them)\n";
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

// Writes a script, never through a link that stands in its place.
bool writeScript(const std::string& path, const std::string& text) {
    const FileWriteResult written = writeFileSafely(path, text, 0755);
    if (!written.ok()) {
        std::cerr << "zoomreel-cli submit: " << written.message << '\n';
    }
    return written.ok();
}

// The site's choices for the jobs; false after a usage error was written.
bool readSiteOptions(const CliCommand& command, const CommandLine& commandLine,
                     const std::vector<GivenOption>& given, SlurmRender& render) {
    if (commandLine.hasExtra("--cpus-per-task")) {
        const auto cpus = parseInteger(commandLine.extra("--cpus-per-task"), 1, 100000);
        if (!cpus) {
            usageError(command, "--cpus-per-task: expected a whole number from 1 on");
            return false;
        }
        render.cpusPerTask = static_cast<int>(*cpus);
    }
    render.exclusive = commandLine.hasExtra("--exclusive");
    for (const GivenOption& option : given) {
        std::string directive;
        if (option.name == "--sbatch-option") {
            directive = option.value;
        } else if (option.name == "--partition" || option.name == "--time" ||
                   option.name == "--mem" || option.name == "--account" || option.name == "--qos") {
            directive = option.name + "=" + option.value;
        } else {
            continue;
        }
        std::string error;
        const std::string line = sbatchDirective(directive, error);
        if (line.empty()) {
            usageError(command, option.name + ": " + error);
            return false;
        }
        render.siteDirectives.push_back(line);
    }
    if (commandLine.hasExtra("--prologue")) {
        const std::string path = commandLine.extra("--prologue");
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        if (!file || file.bad()) {
            std::cerr << "zoomreel-cli submit: cannot read the prologue " << path
                      << "; give a readable file of shell lines\n";
            return false;
        }
        render.prologue = text.str();
    }
    return true;
}

// A job of this render's scripts that squeue shows.
struct QueuedJob {
    std::string id;  // "12_[1-3]", "14"
    bool pending = false;
    std::string script;
};

// The jobs of `scripts` still queued or running; empty when none is, or when squeue cannot tell.
std::vector<QueuedJob> queuedJobs(const std::vector<std::string>& scripts) {
    const passwd* user = ::getpwuid(::getuid());
    if (user == nullptr)
        return {};
    std::string output;
    if (runProgram({"squeue", "-h", "-u", user->pw_name, "-o", "%i %t %o"}, output) != 0)
        return {};
    std::vector<QueuedJob> jobs;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        QueuedJob job;
        std::string state;
        fields >> job.id >> state;
        std::getline(fields >> std::ws, job.script);
        job.pending = state == "PD";
        if (std::find(scripts.begin(), scripts.end(), job.script) != scripts.end())
            jobs.push_back(job);
    }
    return jobs;
}

// Before a resume: refuses while tasks of the render or its join are at work, which would
// make their files twice; cancels a join still waiting for earlier tasks, which the resume
// replaces. False after saying why.
bool readyToResume(const std::string& renderScript, const std::string& joinScript) {
    const std::vector<QueuedJob> jobs = queuedJobs({renderScript, joinScript});
    const auto waiting = [&](const QueuedJob& job) {
        return job.script == joinScript && job.pending;
    };
    for (const QueuedJob& job : jobs) {
        if (!waiting(job)) {
            std::cerr << "zoomreel-cli submit: job " << job.id << " of this render is still "
                      << (job.pending ? "queued" : "running")
                      << "; resume once it has ended, or cancel it with scancel " << job.id << '\n';
            return false;
        }
    }
    for (const QueuedJob& job : jobs) {
        std::string ignored;
        runProgram({"scancel", job.id}, ignored);
        std::cout << "cancelled: the join job " << job.id << ", which the resume replaces\n";
    }
    return true;
}

// Whether a movie file is complete: written whole, not marked unfinished, and, when it carries a
// record, with the record this render would give it (`expected`).
bool movieFileComplete(const std::string& path, long long plannedFrames,
                       const MovieRecord& expected) {
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::exists(unfinishedMarkerPath(path), error))
        return false;
    const MovieRecordReading reading = readMovieRecord(path);
    if (reading.record && !(*reading.record == expected))
        return false;
    return movieFileFrameCount(path) >= plannedFrames;
}

// The tasks whose movie files are not all complete.
std::vector<int> unfinishedTasks(const SlurmRender& render, const PlannedMovie& movie) {
    const MoviePlan& plan = movie.plan;
    MovieFiles files(movie.spec.output);
    files.setPlannedFrames(plan.totalFrames);
    files.setFingerprint(movieFingerprint(movie.spec, listRunKeyFrames(movie.spec)));
    std::vector<int> tasks;
    for (std::size_t task = 0; task < render.shares.size(); ++task) {
        for (int file = render.shares[task].first; file <= render.shares[task].last; ++file) {
            const PlannedMovieFile& planned = plan.movieFiles[static_cast<std::size_t>(file)];
            const std::string path = (fs::path(render.moviesFolder) / planned.name).string();
            if (!movieFileComplete(path, planned.frames, files.wholeRecord(file))) {
                tasks.push_back(static_cast<int>(task));
                break;
            }
        }
    }
    return tasks;
}

std::string taskList(const std::vector<int>& tasks) {
    std::string list;
    for (const int task : tasks)
        list += (list.empty() ? "" : ",") + std::to_string(task);
    return list;
}

}  // namespace

namespace {

// The movie the renders will make, checked as a render checks it before its first frame, with
// the folder of its movie files writable; none after saying what is wrong.
std::optional<PlannedMovie> checkedMovie(const CommandLine& commandLine) {
    std::optional<PlannedMovie> planned = planCommandLine(commandLine, std::cerr);
    if (!planned)
        return std::nullopt;
    const MovieSpec& spec = planned->spec;
    const MoviePlan& plan = planned->plan;
    if (plan.totalFrames == 0 || spec.output.testOnly || spec.output.skipRender) {
        std::cerr << "zoomreel-cli submit: the render would write no movie file"
                  << (plan.totalFrames == 0 ? " (it makes no frame)" : "") << '\n';
        return std::nullopt;
    }
    if (plan.movieFileCount > static_cast<long long>(plan.movieFiles.size())) {
        std::cerr << "zoomreel-cli submit: the movie has " << plan.movieFileCount
                  << " files, more than can be shared out; choose more frames per movie file\n";
        return std::nullopt;
    }
    MovieFiles files(spec.output);
    const PictureSize size = movieFilePictureSize(spec);
    if (const std::string problem = files.check(size.width, size.height); !problem.empty()) {
        std::cerr << "zoomreel-cli submit: " << problem << '\n';
        return std::nullopt;
    }
    const std::string moviesFolder = fs::path(spec.output.firstMovieFile()).parent_path().string();
    if (::access(moviesFolder.c_str(), W_OK | X_OK) != 0) {
        std::cerr << "zoomreel-cli submit: cannot write movie files into " << moviesFolder << ": "
                  << std::strerror(errno) << "; choose a folder you may write to\n";
        return std::nullopt;
    }
    return planned;
}

// The scripts of the render of `planned`, shared among `tasks` tasks.
void shareRender(const PlannedMovie& planned, int tasks, SlurmRender& render) {
    std::vector<long long> framesPerFile;
    for (const PlannedMovieFile& file : planned.plan.movieFiles) {
        framesPerFile.push_back(file.frames);
        render.movieFiles.push_back(file.name);
    }
    render.shares = shareMovieFiles(framesPerFile, tasks);
    for (const MovieFileRange& share : render.shares) {
        long long frames = 0;
        for (int file = share.first; file <= share.last; ++file)
            frames += framesPerFile[static_cast<std::size_t>(file)];
        render.sharedFrames.push_back(frames);
    }
    const fs::path first(planned.spec.output.firstMovieFile());
    render.moviesFolder = first.parent_path().string();
    render.joinedMovie =
        (first.parent_path() / ("film_joined" + first.extension().string())).string();
}

bool makeScripts(const SlurmRender& render, const std::string& renderScript,
                 const std::string& joinScript) {
    std::error_code made;
    fs::create_directories(render.scriptFolder, made);
    if (made) {
        std::cerr << "zoomreel-cli submit: cannot make the folder " << render.scriptFolder << ": "
                  << made.message() << '\n';
        return false;
    }
    return writeScript(renderScript, renderBatchScript(render)) &&
           writeScript(joinScript, joinBatchScript(render));
}

constexpr std::string_view kJoinAfter = "--kill-on-invalid-dep=yes";

// Submits the render's tasks (`array`: a list of tasks, or empty for all; none when every file
// is complete) and the join after them; prints what it submitted.
int submitJobs(const SlurmRender& render, const std::optional<std::string>& array,
               const std::string& renderScript, const std::string& joinScript) {
    std::vector<std::string> join = {"sbatch", "--parsable"};
    if (array) {
        std::vector<std::string> words = {"sbatch", "--parsable"};
        if (!array->empty())
            words.push_back("--array=" + *array);
        const std::string renderJob = submitScript(words, renderScript);
        if (renderJob.empty())
            return 1;
        const std::string which = array->empty()
                                      ? std::to_string(render.shares.size()) +
                                            (render.shares.size() == 1 ? " task" : " tasks")
                                      : "tasks " + *array;
        std::cout << "render: job array " << renderJob << ", " << which << " (" << renderScript
                  << ")\n";
        join.push_back("--dependency=afterok:" + renderJob);
        join.push_back(std::string(kJoinAfter));
    } else {
        std::cout << "render: every movie file is complete\n";
    }
    const std::string joinJob = submitScript(join, joinScript);
    if (joinJob.empty()) {
        std::cerr << "zoomreel-cli submit: once the render has ended, join its files with: sbatch "
                  << shellWord(joinScript) << '\n';
        return 1;
    }
    std::vector<std::string> resume;
    for (const std::string& word : render.resumeCommand)
        resume.push_back(shellWord(word));
    std::cout << "join: job " << joinJob << ", once every task has succeeded (" << joinScript
              << ")\n"
              << "movie: " << render.joinedMovie << '\n'
              << "logs: " << render.scriptFolder << '\n'
              << "after a failure: ";
    for (const std::string& word : resume)
        std::cout << word << (&word == &resume.back() ? "\n" : " ");
    return 0;
}

// The sbatch commands that submit the scripts, as one line that cannot start the join early.
std::string sbatchCommands(const std::optional<std::string>& array, const std::string& renderScript,
                           const std::string& joinScript) {
    if (!array)
        return "sbatch " + shellWord(joinScript) + "\n";
    const std::string tasks = array->empty() ? "" : " --array=" + *array;
    return "job=$(sbatch --parsable" + tasks + " " + shellWord(renderScript) +
           ") && sbatch --dependency=afterok:${job%%;*} " + std::string(kJoinAfter) + " " +
           shellWord(joinScript) + "\n";
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
    render.folder = absolutePath(commandLine.folder);
    const std::vector<GivenOption> given = givenOptions(command, args, render.folder);
    if (!readSiteOptions(command, commandLine, given, render))
        return 2;

    commandLine.folder = render.folder;
    const std::optional<PlannedMovie> planned = checkedMovie(commandLine);
    if (!planned)
        return 1;
    shareRender(*planned, static_cast<int>(*tasks), render);
    render.program = thisProgram();
    render.scriptFolder = (fs::path(render.folder) / "slurm").string();
    render.renderOptions = renderOptionsOf(given);
    render.joinOptions = joinOptionsOf(given, planned->spec, render.joinedMovie);
    render.resumeCommand = resumeCommandOf(given, render.program, render.folder);
    if (const std::string problem = slurmRenderProblem(render); !problem.empty()) {
        std::cerr << "zoomreel-cli submit: " << problem << '\n';
        return 1;
    }
    const std::string renderScript = (fs::path(render.scriptFolder) / "render.sbatch").string();
    const std::string joinScript = (fs::path(render.scriptFolder) / "join.sbatch").string();

    const std::size_t shares = render.shares.size();
    if (shares < static_cast<std::size_t>(*tasks)) {
        std::cerr << "zoomreel-cli submit: the movie has " << shares << " file"
                  << (shares == 1 ? "" : "s") << ": " << shares << " task"
                  << (shares == 1 ? "" : "s") << " instead of " << *tasks
                  << "; to share it among more, split it into more files with --set FPM=N "
                     "(frames per movie file)\n";
    }
    // The tasks to submit: all (empty list), those with files to make, or none.
    std::optional<std::string> array = std::string();
    const bool submitting =
        !commandLine.hasExtra("--dry-run") && !commandLine.hasExtra("--write-only");
    if (commandLine.hasExtra("--resume") && submitting && !readyToResume(renderScript, joinScript))
        return 1;
    if (commandLine.hasExtra("--resume")) {
        const std::vector<int> unfinished = unfinishedTasks(render, *planned);
        array = unfinished.empty() ? std::nullopt : std::optional(taskList(unfinished));
        if (unfinished.size() == shares)
            array = std::string();
    }
    if (commandLine.hasExtra("--dry-run")) {
        std::cout << "# " << renderScript << '\n'
                  << renderBatchScript(render) << "\n# " << joinScript << '\n'
                  << joinBatchScript(render) << "\n# submitted with\n"
                  << sbatchCommands(array, renderScript, joinScript);
        return 0;
    }
    if (!makeScripts(render, renderScript, joinScript))
        return 1;
    if (commandLine.hasExtra("--write-only")) {
        std::cout << sbatchCommands(array, renderScript, joinScript);
        return 0;
    }
    return submitJobs(render, array, renderScript, joinScript);
}

}  // namespace zr
