#pragma once
// sealrun demo: makes a batch of sample contracts and a template in a new folder and runs the main job on
// them step by step (pre-stamp, seal by template and by keyword, verify, tamper and verify again,
// remove), each step as the user's own command line, in a private environment inside the folder.
#include <string>
#include <vector>

namespace sealrun::apps {

// Exit code 0 when every step gave what was expected, 1 when some step did not, 2 on misuse.
int RunDemo(const std::vector<std::string>& arguments);
const char* DemoHelp();

}  // namespace sealrun::apps
