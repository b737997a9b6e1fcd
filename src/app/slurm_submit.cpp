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

// A path in an #SBATCH line, which sbatch splits at blanks unless they are in double quotes.
std::string sbatchValue(const std::string& path) {
    if (std::all_of(path.begin(), path.end(), plainShellCharacter)) {
        return path;
    }
    return '"' + path + '"';
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

std::string renderBatchScript(const SlurmRender& render) {
    const int tasks = static_cast<int>(render.shares.size());
    std::string script = "#!/bin/bash\n";
    script += "# Renders the zoom movie of " + render.folder +
              " on a Slurm cluster: each task of this job array\n"
              "# renders its share of the movie files. A task that failed runs once more with\n"
              "#   sbatch --array=K " +
              render.scriptFolder + "/render.sbatch\n";
    script += "#SBATCH --job-name=zoomreel-render\n";
    script += "#SBATCH --array=0-" + std::to_string(tasks - 1) + "\n";
    script += "#SBATCH --ntasks=1\n";
    if (render.cpusPerTask) {
        script += "#SBATCH --cpus-per-task=" + std::to_string(*render.cpusPerTask) + "\n";
    } else {
        script += "#SBATCH --exclusive\n";
    }
    script += "#SBATCH --chdir=" + sbatchValue(render.workFolder) + "\n";
    script += "#SBATCH --output=" + sbatchValue(render.scriptFolder + "/render-%A_%a.log") + "\n";
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
              "# has succeeded; it names any file that is missing.\n";
    script += "#SBATCH --job-name=zoomreel-join\n";
    script += "#SBATCH --ntasks=1\n";
    script += "#SBATCH --chdir=" + sbatchValue(render.workFolder) + "\n";
    script += "#SBATCH --output=" + sbatchValue(render.scriptFolder + "/join-%j.log") + "\n";
    // A task run again by hand can leave the last files missing, which a join would not see.
    script += "folder=" + shellWord(render.folder) + "\n";
    script += "render_script=" + shellWord(render.scriptFolder + "/render.sbatch") + "\n";
    script +=
        "missing=0\n"
        "need() {  # TASK FILE...\n"
        "    local task=$1 file\n"
        "    shift\n"
        "    for file in \"$@\"; do\n"
        "        if [ ! -f \"$folder/$file\" ]; then\n"
        "            echo \"zoomreel-cli join: $folder/$file is missing; make it again with:"
        " sbatch --array=$task $render_script\" >&2\n"
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
    script += "[ \"$missing\" = 0 ] || exit 1\n";
    std::vector<std::string> words = {shellWord(render.program), "join", shellWord(render.folder)};
    if (!render.movieFiles.empty()) {
        words.push_back("--input");
        words.push_back(shellWord(render.movieFiles.front()));
    }
    for (const std::string& option : render.joinOptions) {
        words.push_back(shellWord(option));
    }
    script += "exec " + commandLine(words) + "\n";
    return script;
}

}  // namespace zr
