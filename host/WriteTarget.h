// The files the program replaces (the .X file, the exporter's settings file, the scene with
// --save-scene): what may be replaced, checked before any work, and the staging file that
// keeps the .X file untouched until an export has completed.
#pragma once

#include <optional>
#include <string>

namespace tarvo::hostapp {

// What must hold for a file to be replaced.
struct TargetRules {
    // Its directory exists and may be written. The exporter makes its settings directory
    // itself, so the settings file does without.
    bool directoryMustBeWritable = true;
    // It has no other hard links: a new file in its place would leave them with the old.
    bool refuseHardLinks = true;
    // The scene being exported, which it must not be under any name (a symlink or a hard
    // link to the scene counts); empty when any file will do.
    std::string scene;
};

// A file that may be replaced.
struct WriteTarget {
    std::string path;  // the file finally replaced: symlinks followed, absolute
};

// Either the target, or the one line that says why it cannot be replaced.
struct TargetCheck {
    std::optional<WriteTarget> target;
    std::string problem;
};

// Checks `path` against `rules`. `subject` names the file in the problem ("out.x", "the
// settings file /home/u/.config/tarvo-dx/TarvoDXExport.xml"). Read-only means that the
// owner may not write the file (or directory), decided from its mode so that the rule holds
// for the superuser too, or that the system says it cannot be written.
TargetCheck CheckWriteTarget(const std::string& path, const std::string& subject,
                             const TargetRules& rules);

// The file the exporter writes instead of the target: a short fresh name in the target's
// directory (the exporter puts its textures beside the file it is given, and a rename
// within one directory cannot be seen half done). Removed when the holder goes unless it
// has been moved over the target.
class StagedOutput {
  public:
    explicit StagedOutput(const WriteTarget& target);
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    const std::string& Path() const { return m_staging; }
    // Moves the staging file over the target, with the mode of the file it replaces. On
    // failure (errno says why; ENOENT when the exporter wrote no file) the target is as it
    // was.
    [[nodiscard]] bool Commit();

  private:
    std::string m_target;
    std::string m_staging;
    bool m_committed = false;
};

}  // namespace tarvo::hostapp
