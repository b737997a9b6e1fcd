#include "app/program_info.h"

#include <algorithm>
#include <string>

#include "app/commands.h"
#include "app/thread_option.h"
#include "settings/parameter_check.h"
#include "settings/parameters.h"

namespace zr {

namespace {

using Completion = ValueCompletion;

constexpr CliOption kRenderOptions[] = {
    {"--quality", "N", "AVI compressor quality", Completion::kNone, false, false, 0, 100, {}, "85"},
    {"--keyframe-every", "N", "distance between the AVI movie's key frames", Completion::kNone,
     false, false, 1, 100000, "movie frames", "1"},
    {"--files", "I-J",
     "only movie files I to J (0 is film.avi, 1 film_01.avi, ...), each the same as in a whole "
     "render; \"zoomreel-cli plan\" lists the files"},
    {"--fresh", "",
     "make every movie file again, even those complete and made with these settings"},
    {"--overwrite", "", "replace files at the movie files' names that this program did not make"},
    {"--verbose", "",
     "also show the status lines of the run (each key frame begun, the summary at its end) and "
     "each key frame that cannot be opened as it is met"},
    kThreadsOption,
};

constexpr CliOption kPreviewOptions[] = {
    {"--frame", "K", "the key frame to colour, 0 being the widest", Completion::kNone, false, false,
     0, 2147483647, "key frames"},
    {"--movie-frame", "N|TIME",
     "instead of a key frame, movie frame N (0 is the first) or the frame shown at TIME "
     "(mm:ss.fff or hh:mm:ss.fff) exactly as render writes it"},
    {"--output", "FILE.png", "the picture to write, PNG (.png) or JPEG (.jpg, .jpeg)",
     Completion::kFile, true},
    kThreadsOption,
};

constexpr CliOption kMakeKeyframesOptions[] = {
    {"--count", "N", "number of key frames", Completion::kNone, false, false, 1, 99999, {}, "30"},
    {"--size", "WxH", "key frame size in pixels, 1 to 16384 each (default 640x360)"},
    {"--center", "RE,IM", "the point zoomed into (default -0.743643887037151,0.131825904205330)"},
    {"--iterations",
     "N",
     "iteration limit",
     Completion::kNone,
     false,
     false,
     1,
     100000000,
     {},
     "4000"},
    {"--zoom-factor", "Z", "each key frame is Z times wider than the next, above 1 (default 2)"},
    {"--force", "", "write into a folder that already holds files"},
    kThreadsOption,
};

constexpr CliOption kJoinOptions[] = {
    {"--input", "NAME",
     "the first split file when FOLDER holds films of several kinds (film.avi, film.mp4), or "
     "where the render's MOVIEFILE put it (out/z.mkv, taken inside FOLDER)",
     Completion::kFile},
    {"--overwrite", "", "replace an --output file that this program did not make"},
};

constexpr CliOption kCodecsOptions[] = {
    {"--names", "", "only the names that --codec takes, one a line", Completion::kNone, false,
     true},
};

constexpr CliOption kSubmitOptions[] = {
    {"--slurm", "", "submit to a Slurm cluster with sbatch", Completion::kNone, true},
    {"--tasks", "N", "the number of tasks (machines) the movie files are shared among",
     Completion::kNone, true, false, 1, 100000},
    {"--cpus-per-task",
     "N",
     "processors each task asks for",
     Completion::kNone,
     false,
     false,
     1,
     100000,
     {},
     "what the site gives a task, often 1"},
    {"--exclusive", "", "every task gets a machine of its own"},
    {"--partition", "NAME", "the partition (queue) the jobs run in"},
    {"--time", "LIMIT",
     "the time limit of each task and of the join, as sbatch takes it (MINUTES, HH:MM:SS, "
     "D-HH)"},
    {"--mem", "SIZE", "the memory of each task and of the join, as sbatch takes it (4G)"},
    {"--account", "NAME", "the account the jobs are charged to"},
    {"--qos", "NAME", "the quality of service of the jobs"},
    {"--sbatch-option", "OPTION",
     "one more sbatch option, \"--name=value\" or \"--name\", written as an #SBATCH line of "
     "both scripts (repeatable; it wins over what submit writes)"},
    {"--prologue", "FILE",
     "shell lines (module load ..., a container's setup) run before the render in every task "
     "and before the join; copied into the scripts",
     Completion::kFile},
    {"--resume", "",
     "submit only the tasks whose movie files are not all complete, and the join after them"},
    {"--write-only", "",
     "write the batch scripts into FOLDER/slurm and print the sbatch commands, run nothing"},
    {"--dry-run", "", "print the batch scripts and the sbatch commands, write and run nothing"},
};

constexpr CliCommand kCommands[] = {
    {"render", "FOLDER", "key frame FOLDER", Completion::kFolder, true,
     MovieFileOptionUse::kAsSettings, kRenderOptions,
     "renders the zoom movie of the key frames in FOLDER",
     "Renders the zoom movie of the key frames in FOLDER into FOLDER/film.avi (or the --output "
     "file) and, every \"Frames per movie\" frames, FOLDER/film_01.avi, film_02.avi, ... (the "
     "same names with the --output file's name and extension). Each file of an --audio "
     "soundtrack carries its own stretch of it, so the files play in sync one after another. "
     "Complete movie files are skipped, so a stopped render goes on where it ended. Ctrl-C stops "
     "after the current frame and finishes the current file so that it plays; the next run "
     "writes that file again, whole. Settings that cannot give a movie file (an unknown "
     "extension, a codec the container cannot hold, a pixel format the codec refuses, a "
     "soundtrack that cannot be read) stop the render before its first frame.",
     runRenderCommand},
    {"preview", "FOLDER", "key frame FOLDER", Completion::kFolder, true, MovieFileOptionUse::kNone,
     kPreviewOptions,
     "colours one key frame, or makes one movie frame, and writes it as a PNG picture",
     "Colours key frame K (0 is the widest) with the settings as Start would use them and writes "
     "it at its own size as a PNG picture. With --movie-frame it makes that frame of the movie "
     "instead, the picture render would put into the movie file (zoom text, rotation and 4:3 "
     "cut included), without making the frames before it.",
     runPreviewCommand},
    {"plan",
     "FOLDER",
     "key frame FOLDER",
     Completion::kFolder,
     true,
     MovieFileOptionUse::kAsSettings,
     {},
     "prints the frames and movie files that render would make",
     "Walks the movie that render would make of the key frames in FOLDER, without making any "
     "picture, and prints a tab-separated table: the header \"keyframe first_frame frames\", one "
     "line per key frame (its number, the movie frame at which it begins, its number of movie "
     "frames), then lines beginning with \"#\": total frames, duration at the movie's FPS and "
     "the movie files with their first frame and number of frames.",
     runPlanCommand},
    {"make-keyframes", "OUTDIR", "output folder OUTDIR", Completion::kFolder, false,
     MovieFileOptionUse::kNone, kMakeKeyframesOptions,
     "renders a folder of key frames of the Mandelbrot set",
     "Renders key frames of the Mandelbrot set into OUTDIR, each zoom factor times wider than "
     "the next, named NNNNN_ZOOM.zmb from 00001 (the deepest) on.",
     runMakeKeyframesCommand},
    {"join", "FOLDER", "FOLDER of split movie files", Completion::kFolder, true,
     MovieFileOptionUse::kOwn, kJoinOptions,
     "puts the split movie files of a render together into one",
     "Puts the split files of a render in FOLDER (film.avi, film_01.avi, ... or the same names "
     "with another extension) together into one movie file, FOLDER/film_joined with the same "
     "extension unless --output names another. The video is copied when every split file codes "
     "it alike in a codec the chosen container holds and no --codec, --crf, --preset or "
     "--pix-fmt is given; otherwise it is encoded again. The file is written under a temporary "
     "name and gets its own name only once it holds every frame of the split files. A missing or "
     "unfinished split file stops the join.\n\n"
     "Given the settings options of the render (--settings, --set, ...), join plans the movie of "
     "the key frames in FOLDER as render does: the joined file must then hold every planned "
     "frame, and a render to another --output file name is found from the settings' MOVIEFILE.",
     runJoinCommand},
    {"submit", "FOLDER", "key frame FOLDER", Completion::kFolder, true,
     MovieFileOptionUse::kAsSettings, kSubmitOptions,
     "renders the movie on a Slurm cluster, then joins its files",
     "Spreads the render of the key frames in FOLDER over a Slurm cluster: writes the batch "
     "script of a job array whose N tasks each render their share of the movie files (render "
     "--files, the shares balanced by the planned frames), and the batch script of a join that "
     "runs once every task has succeeded, into FOLDER/slurm; submits both with sbatch and prints "
     "the job numbers and the movie to come. It first checks the whole movie as render would "
     "(settings, key frames, movie file and codec, soundtrack, the movie file's folder "
     "writable) and submits nothing when something is wrong. The settings options, the movie "
     "file options and render's options go on to every task and the join, with the files they "
     "name made absolute (a relative --set MOVIEFILE= or SOUND= lies in FOLDER). Jobs run in "
     "FOLDER, which must lie on storage that every node sees, with zoomreel-cli at the same "
     "path on every node.\n\n"
     "Each task is sent SIGTERM 120 seconds before its time limit: it finishes the movie file "
     "it is writing so that it plays and ends with exit status 143; the tasks may be requeued "
     "and then keep every complete file. After a task failed, was cancelled or ran out of "
     "time, the same submit command with --resume (submit prints it) submits again only the "
     "tasks whose files are not complete, with a new join after them; it is refused while jobs of "
     "the "
     "render are still queued or running.",
     runSubmitCommand, true},
    {"codecs", "", "", Completion::kNone, false, MovieFileOptionUse::kNone, kCodecsOptions,
     "lists the containers and codecs this build writes",
     "Lists what this build can write: for every container (chosen by the movie file's "
     "extension) the codecs to give to --codec, with their quality scale, presets and pixel "
     "formats; for AVI the compressors by four-character code.",
     runCodecsCommand},
};

constexpr ProgramInfo kCliProgram{
    "zoomreel-cli",
    "turns a folder of fractal key frames into a zoom movie, without a window",
    "Zoomreel colours fractal iteration maps (.zmb key frames) or pictures of successive zoom "
    "steps, merges them into movie frames along a timeline of speed, rotation and colour "
    "changes, and writes movie files. zoomreel-cli does so without any window, for scripts, "
    "servers and render farms; it shares every setting with the desktop program zoomreel, whose "
    "settings files it loads.\n\n"
    "The settings are applied as a person at the dialog would: FOLDER is chosen first (key frame "
    "size, movie size, \"Frames per movie\", key frame count), then the settings file of "
    "--settings is loaded, then each --set in the order given, then the other options; FOLDER "
    "stays the folder whatever DIR the settings file holds.",
    kCommands,
    {},
};

constexpr CliOption kDesktopOptions[] = {
    {"--folder", "DIR", "choose the key frame folder DIR", Completion::kFolder},
    {"--settings", "FILE", "load the settings file FILE.zrs", Completion::kSettingsFile},
    {"--test", "", "press Test once the dialog is up"},
    {"--movie-frame", "N|TIME",
     "show movie frame N (or the frame at mm:ss.fff) on the timeline once the dialog is up"},
    {"--screenshot", "FILE", "save a picture of the dialog and the preview as FILE.png, then quit",
     Completion::kFile},
    {"--whole-screen", "", "with --screenshot, save the whole screen the dialog is on instead"},
};

constexpr ProgramInfo kDesktopProgram{
    "zoomreel",
    "turns a folder of fractal key frames into a zoom movie",
    "Zoomreel colours fractal iteration maps (.zmb key frames) or pictures of successive zoom "
    "steps, merges them into movie frames along a timeline of speed, rotation and colour "
    "changes, and writes movie files. zoomreel is its desktop program: one dialog holds every "
    "setting, a preview window beside it shows each frame while it is made. Settings files "
    "(.zrs) keep the dialog's settings; zoomreel-cli renders with them without a window.",
    {},
    kDesktopOptions,
};

// A flag's help from the parameter table: its meaning, then its type, unit, range and default.
std::string makeFlagHelp(const Parameter& parameter) {
    std::string help(parameter.help);
    const std::string range = parameterRange(parameter);
    const std::string unit = parameter.unit.empty() ? "" : " of " + std::string(parameter.unit);
    switch (parameter.kind) {
        case ParameterKind::kWholeNumber:
            help += "; a whole number" + unit + ", " + range;
            break;
        case ParameterKind::kDecimal:
            help += "; a decimal number" + unit + ", " + range;
            break;
        default:
            return help;
    }
    if (!parameter.defaultValue.empty())
        help += ", default " + std::string(parameter.defaultValue);
    return help;
}

// The help of the flag of `parameter`, made once for every parameter in the table's order and
// kept for the whole run: the option tables hold views of it.
std::string_view flagHelp(const Parameter& parameter) {
    static const std::vector<std::string> helps = [] {
        std::vector<std::string> made;
        for (const Parameter& each : parameters()) {
            made.push_back(makeFlagHelp(each));
        }
        return made;
    }();
    return helps[static_cast<std::size_t>(&parameter - parameters().data())];
}

std::vector<CliOption> makeSettingsOptions() {
    std::vector<CliOption> options = {
        {"--settings", "FILE.zrs", "load a settings file as the dialog's \"Load settings\" does",
         Completion::kSettingsFile},
        {"--set", "KEY=VALUE",
         "a settings-file key and its value as the file holds it (repeatable, applied after "
         "--settings); the keys are listed in the manual",
         Completion::kSettingsKey},
        {"--save-settings", "FILE.zrs",
         "write the settings, once every option is applied, as the dialog's \"Save settings\" "
         "would (what a settings file does not store, such as the flags below, is left out)",
         Completion::kSettingsFile},
        {"--strict", "",
         "what would only be warned of (a settings-file line passed over, a list line of a key "
         "frame the folder does not hold, an option that changes nothing) is refused instead"},
        {"--zoom-size", "Z",
         "the zoom factor of the \"Custom...\" zoom out level (--set ZOL=4); a decimal number "
         "above 1, at most 1000000"},
    };
    for (const Parameter& parameter : parameters()) {
        if (!parameter.flag.empty() && !parameter.movieFile)
            options.push_back({parameter.flag, parameter.valueName, flagHelp(parameter)});
    }
    return options;
}

Completion completionOf(FlagValueKind kind) {
    switch (kind) {
        case FlagValueKind::kFile:
            return Completion::kFile;
        case FlagValueKind::kCodec:
            return Completion::kCodec;
        case FlagValueKind::kPreset:
            return Completion::kPreset;
        case FlagValueKind::kPixelFormat:
            return Completion::kPixelFormat;
        case FlagValueKind::kOther:
            break;
    }
    return Completion::kNone;
}

std::vector<CliOption> makeMovieFileOptions() {
    std::vector<CliOption> options;
    for (const Parameter& parameter : parameters()) {
        if (!parameter.flag.empty() && parameter.movieFile) {
            options.push_back({parameter.flag, parameter.valueName, flagHelp(parameter),
                               completionOf(parameter.flagValue)});
        }
    }
    return options;
}

}  // namespace

std::string wholeNumberText(const CliOption& option) {
    return "a whole number" +
           (option.unit.empty() ? std::string() : " of " + std::string(option.unit)) + ", " +
           std::to_string(option.min) + " to " + std::to_string(option.max);
}

std::string optionHelp(const CliOption& option) {
    std::string help(option.help);
    if (option.takesWholeNumber())
        help += "; " + wholeNumberText(option);
    if (!option.defaultValue.empty())
        help += " (default " + std::string(option.defaultValue) + ")";
    return help;
}

const ProgramInfo& cliProgram() {
    return kCliProgram;
}

const ProgramInfo& desktopProgram() {
    return kDesktopProgram;
}

const CliCommand* findCliCommand(std::string_view name) {
    const auto found =
        std::find_if(std::begin(kCommands), std::end(kCommands),
                     [&](const CliCommand& command) { return command.name == name; });
    return found == std::end(kCommands) ? nullptr : found;
}

std::span<const CliOption> settingsOptions() {
    static const std::vector<CliOption> options = makeSettingsOptions();
    return options;
}

std::span<const CliOption> movieFileOptions() {
    static const std::vector<CliOption> options = makeMovieFileOptions();
    return options;
}

std::span<const CliOption> renderTaskOptions() {
    static const std::vector<CliOption> options = [] {
        std::vector<CliOption> taken;
        for (const CliOption& option : findCliCommand("render")->options) {
            if (option.name != "--files")
                taken.push_back(option);
        }
        return taken;
    }();
    return options;
}

std::vector<OptionGroup> optionGroups(const CliCommand& command) {
    std::vector<OptionGroup> groups;
    if (!command.options.empty())
        groups.push_back({"options", command.options});
    if (command.takesRenderOptions)
        groups.push_back({"options of every render", renderTaskOptions()});
    if (command.movieFileOptions != MovieFileOptionUse::kNone)
        groups.push_back({"options that choose the movie file", movieFileOptions()});
    if (command.takesSettings)
        groups.push_back({"options that choose the settings", settingsOptions()});
    return groups;
}

std::vector<CliOption> commandOptions(const CliCommand& command) {
    std::vector<CliOption> options;
    for (const OptionGroup& group : optionGroups(command))
        options.insert(options.end(), group.options.begin(), group.options.end());
    return options;
}

}  // namespace zr
