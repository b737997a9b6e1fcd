#include "app/slurm_submit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace zr {

namespace {

bool plainShellCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_-+=.,:/@%^").find(c) != std::string_view::npos;
}

// A value in an #SBATCH line, which sbatch splits at blanks and cuts at a "#" unless they are in
// double quotes. The value holds no double quote, backslash or control character (checked
// before).
std::string sbatchValue(const std::string& value) {
    if (!value.empty() && std::all_of(value.begin(), value.end(), plainShellCharacter)) {
        return value;
    }
    return '"' + value + '"';
}

// A path in a file name pattern of sbatch, where "%" begins a replacement.
std::string sbatchPattern(const std::string& path) {
    std::string escaped;
    for (const char c : path) {
        escaped += c == '%' ? std::string("%%") : std::string(1, c);
    }
    return escaped;
}

std::string controlCharacterName(unsigned char byte) {
    if (byte == '\n' || byte == '\r') {
        return "a line break";
    }
    if (byte == 0) {
        return "a NUL character";
    }
    if (byte == '\t') {
        return "a tab";
    }
    char name[40];
    std::snprintf(name, sizeof name, "the control character 0x%02x", byte);
    return name;
}

// What keeps `text` out of an #SBATCH line: what unsafeLineText() finds, a double quote or a
// backslash.
std::string unsafeSbatchText(std::string_view text) {
    if (std::string problem = unsafeLineText(text); !problem.empty()) {
        return problem;
    }
    if (text.find('"') != std::string_view::npos) {
        return "a double quote";
    }
    if (text.find('\\') != std::string_view::npos) {
        return "a backslash";
    }
    return {};
}

std::string commandLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += line.empty() ? "" : " ";
        line += word;
    }
    return line;
}

std::string rangeText(const MovieFileRange& range) {
    return std::to_string(range.first) + "-" + std::to_string(range.last);
}

}  // namespace

std::vector<MovieFileRange> shareMovieFiles(const std::vector<long long>& framesPerFile,
                                            int tasks) {
    const int files = static_cast<int>(framesPerFile.size());
    const int shares = std::min(std::max(tasks, 1), files);
    std::vector<long long> through(framesPerFile.size());  // frames of files 0 to i
    std::partial_sum(framesPerFile.begin(), framesPerFile.end(), through.begin());
    const double total = files > 0 ? static_cast<double>(through.back()) : 0.0;

    std::vector<MovieFileRange> ranges;
    int first = 0;
    for (int share = 0; share < shares; ++share) {
        const int sharesLeft = shares - share;
        int last = files - 1;
        if (sharesLeft > 1) {
            // The share ends where the frames so far come nearest its part of the whole, leaving
            // a file for each share after it.
            const double target = total * (share + 1) / shares;
            const auto distance = [&](int file) {
                return std::abs(static_cast<double>(through[static_cast<std::size_t>(file)]) -
                                target);
            };
            last = first;
            while (last + 1 <= files - sharesLeft && distance(last + 1) <= distance(last)) {
                ++last;
            }
        }
        ranges.push_back({first, last});
        first = last + 1;
    }
    return ranges;
}

std::string shellWord(std::string_view text) {
    if (!text.empty() && std::all_of(text.begin(), text.end(), plainShellCharacter)) {
        return std::string(text);
    }
    const bool control = std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    if (!control) {
        std::string word = "'";
        for (const char c : text) {
            word += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        return word + "'";
    }
    std::string word = "$'";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            word += "\\t";
        } else if (c == '\n') {
            word += "\\n";
        } else if (c == '\r') {
            word += "\\r";
        } else if (c == '\\' || c == '\'') {
            word += '\\';
            word += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            word += escaped;
        } else {
            word += c;
        }
    }
    return word + "'";
}

std::string unsafeLineText(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return controlCharacterName(byte);
        }
    }
    return {};
}

std::string sbatchDirective(std::string_view option, std::string& error) {
    const std::size_t equals = option.find('=');
    const std::string_view name = option.substr(0, equals);
    const bool named = name.size() > 2 && name.starts_with("--") &&
                       std::all_of(name.begin() + 2, name.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '-';
                       });
    if (!named) {
        error = "\"" + std::string(option) +
                "\" is no sbatch option as an #SBATCH line takes it: write --name or "
                "--name=value";
        return {};
    }
    if (equals == std::string_view::npos) {
        return std::string(name);
    }
    const std::string value(option.substr(equals + 1));
    if (const std::string problem = unsafeSbatchText(value); !problem.empty()) {
        error = "the value of " + std::string(name) + ", " + shellWord(value) + ", holds " +
                problem + ", which cannot be written safely into an #SBATCH line";
        return {};
    }
    return std::string(name) + "=" + sbatchValue(value);
}

std::string slurmRenderProblem(const SlurmRender& render) {
    struct Named {
        const char* what;
        const std::string& value;
        bool sbatchLine;
    };
    for (const Named& named : {Named{"the key frame folder", render.folder, true},
                               Named{"the scripts' folder", render.scriptFolder, true},
                               Named{"the movie files' folder", render.moviesFolder, false},
                               Named{"the joined movie", render.joinedMovie, false}}) {
        const std::string problem =
            named.sbatchLine ? unsafeSbatchText(named.value) : unsafeLineText(named.value);
        if (!problem.empty()) {
            return std::string(named.what) + " " + shellWord(named.value) + " holds " + problem +
                   ", which cannot be written safely into a line of a batch script; rename it";
        }
    }
    if (render.prologue.find('\0') != std::string::npos) {
        return "the prologue holds a NUL character; it must be shell lines";
    }
    return {};
}

namespace {

// The #SBATCH lines both scripts share: where they run, the log, the site's options last.
std::string sharedDirectives(const SlurmRender& render, const std::string& logName) {
    std::string lines = "#SBATCH --ntasks=1\n";
    lines += "#SBATCH --chdir=" + sbatchValue(render.folder) + "\n";
    lines += "#SBATCH --output=" + sbatchValue(sbatchPattern(render.scriptFolder + "/") + logName) +
             "\n";
    lines += "#SBATCH --open-mode=append\n";
    return lines;
}

std::string siteLines(const SlurmRender& render) {
    std::string lines;
    for (const std::string& directive : render.siteDirectives) {
        lines += "#SBATCH " + directive + "\n";
    }
    if (!render.prologue.empty()) {
        lines += "# The prologue given to submit.\n" + render.prologue;
        if (!render.prologue.ends_with('\n')) {
            lines += '\n';
        }
    }
    return lines;
}

}  // namespace

std::string renderBatchScript(const SlurmRender& render) {
    const int tasks = static_cast<int>(render.shares.size());
    std::string script = "#!/bin/bash\n";
    script += "# Renders the zoom movie of " + render.folder +
              " on a Slurm cluster: each task of this job array\n"
              "# renders its share of the movie files. Told to stop (SIGTERM, " +
              std::to_string(kStopNoticeSeconds) +
              " s before the time\n"
              "# limit) a task finishes the movie file it is writing so that it plays; after a\n"
              "# failure the submit command with --resume makes the files that are missing.\n";
    script += "#SBATCH --job-name=zoomreel-render\n";
    script += "#SBATCH --array=0-" + std::to_string(tasks - 1) + "\n";
    if (render.cpusPerTask) {
        script += "#SBATCH --cpus-per-task=" + std::to_string(*render.cpusPerTask) + "\n";
    }
    if (render.exclusive) {
        script += "#SBATCH --exclusive\n";
    }
    script += sharedDirectives(render, "render-%A_%a.log");
    script += "#SBATCH --requeue\n";
    // "B:" sends it to this script, which the render replaces (exec).
    script += "#SBATCH --signal=B:TERM@" + std::to_string(kStopNoticeSeconds) + "\n";
    script += siteLines(render);
    script += "set -eu\n";
    script += "case \"${SLURM_ARRAY_TASK_ID:-}\" in\n";
    for (int task = 0; task < tasks; ++task) {
        const std::size_t index = static_cast<std::size_t>(task);
        const long long frames =
            index < render.sharedFrames.size() ? render.sharedFrames[index] : 0;
        script += "    " + std::to_string(task) + ") files=" + rangeText(render.shares[index]) +
                  " ;;  # " + std::to_string(frames) + " frames\n";
    }
    script += "    *) echo \"no movie files for task '${SLURM_ARRAY_TASK_ID:-}' (tasks 0-" +
              std::to_string(tasks - 1) + ")\" >&2; exit 2 ;;\n";
    script += "esac\n";
    std::vector<std::string> words = {shellWord(render.program), "render", shellWord(render.folder),
                                      "--files", "\"$files\""};
    for (const std::string& option : render.renderOptions) {
        words.push_back(shellWord(option));
    }
    script += "exec " + commandLine(words) + "\n";
    return script;
}

std::string joinBatchScript(const SlurmRender& render) {
    std::string script = "#!/bin/bash\n";
    script += "# Joins the movie files of " + render.folder +
              " into one movie once every task of the render\n"
              "# has succeeded; it names any file that is missing or unfinished.\n";
    script += "#SBATCH --job-name=zoomreel-join\n";
    script += sharedDirectives(render, "join-%j.log");
    script += siteLines(render);
    script += "movies=" + shellWord(render.moviesFolder) + "\n";
    std::vector<std::string> resume;
    for (const std::string& word : render.resumeCommand) {
        resume.push_back(shellWord(word));
    }
    script += "resume=" + shellWord(commandLine(resume)) + "\n";
    script +=
        "missing=0\n"
        "need() {  # TASK FILE...\n"
        "    local task=$1 file\n"
        "    shift\n"
        "    for file in \"$@\"; do\n"
        "        if [ ! -f \"$movies/$file\" ] || [ -e \"$movies/$file.unfinished\" ]; then\n"
        "            echo \"zoomreel-cli join: $movies/$file (task $task) is missing or "
        "unfinished\" >&2\n"
        "            missing=1\n"
        "        fi\n"
        "    done\n"
        "}\n";
    for (std::size_t task = 0; task < render.shares.size(); ++task) {
        std::string line = "need " + std::to_string(task);
        for (int file = render.shares[task].first; file <= render.shares[task].last; ++file) {
            if (static_cast<std::size_t>(file) < render.movieFiles.size())
                line += " " + shellWord(render.movieFiles[static_cast<std::size_t>(file)]);
        }
        script += line + "\n";
    }
    script +=
        "if [ \"$missing\" != 0 ]; then\n"
        "    echo \"zoomreel-cli join: make the missing files and join them with: $resume\" >&2\n"
        "    exit 1\n"
        "fi\n";
    std::vector<std::string> words = {shellWord(render.program), "join", shellWord(render.folder)};
    for (const std::string& option : render.joinOptions) {
        words.push_back(shellWord(option));
    }
    script += "exec " + commandLine(words) + "\n";
    return script;
}

}  // namespace zr
