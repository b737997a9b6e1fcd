#pragma once

#include <string>
#include <vector>

namespace zr {

// The commands of zoomreel-cli. Each takes the arguments after its name and returns the exit
// status: 0 done, 1 failed (a message went to standard error), 2 wrong usage, 130 a render
// stopped with Ctrl-C, 143 one stopped with SIGTERM.
int runRenderCommand(const std::vector<std::string>& args);
int runPreviewCommand(const std::vector<std::string>& args);
int runPlanCommand(const std::vector<std::string>& args);
int runMakeKeyframesCommand(const std::vector<std::string>& args);
int runCodecsCommand(const std::vector<std::string>& args);
int runJoinCommand(const std::vector<std::string>& args);
int runSubmitCommand(const std::vector<std::string>& args);

}  // namespace zr
