// The option pages and the dialogs they open, as procedures over ExportOptions and the
// state of their controls. Each page handles four events: initialisation (controls from
// the options), becoming the active page (which controls are enabled, from the options as
// the other pages left them), leaving (controls into the options) and control commands.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "plugin/ExportOptions.h"
#include "ui/DialogModel.h"

namespace tarvo::ui {

// The host's clock as a page reads it each time it handles a message.
struct SceneClock {
    std::int32_t animStart = 0;  // the scene's animation range, ticks
    std::int32_t animEnd = 0;
    std::int32_t frameRate = 30;  // frames per second
    std::int32_t ticksPerFrame = 160;
};

// What the pages need of the host and of the toolkit.
struct PageHost {
    std::function<SceneClock()> clock;
    std::int32_t hostRelease = 0;  // Get3DSMAXVersion() >> 16
    float igameVersion = 0.0f;
    std::string plugCfgDir;
    ModalRunner runModal;  // shows the segment dialog
};

struct PageContext {
    ExportOptions& options;
    DialogState& controls;
    const PageHost& host;
};

struct PageProcedure {
    int templateId;
    void (*initialise)(PageContext& page);
    void (*setActive)(PageContext& page);
    void (*killActive)(PageContext& page);
    void (*command)(PageContext& page, const ControlCommand& command);
    std::string (*itemText)(const PageContext& page, int id, int item, int column);
};

// The six pages in the order the sheet shows them.
const std::array<PageProcedure, 6>& OptionPages();

// Ticks per sample at the current sampling rate (never below 1).
std::int32_t PageSampleStep(const ExportOptions& options, const SceneClock& clock);

// "Keys: %d  FrameRate: %d fps" and "Length: %d secs" for the scene's animation range.
std::string KeyCountText(const ExportOptions& options, const SceneClock& clock);
std::string LengthText(const SceneClock& clock);

// ---- The segment dialog ----

// The segment being added or edited, with its times in samples.
struct SegmentRecord {
    std::string name;
    std::int32_t start = 0;
    std::int32_t finish = 0;
    std::int32_t min = 0;  // the scene's animation range in samples: the spin buttons' range
    std::int32_t max = 0;
};

// The longest name the dialog reads.
constexpr std::size_t kMaxSegmentName = 254;

class SegmentDialogModel : public DialogModel {
  public:
    explicit SegmentDialogModel(SegmentRecord& record);
    const DialogTemplate& Template() const override;
    DialogState& Controls() override { return m_controls; }
    void Initialise() override;
    std::optional<INT_PTR> Command(const ControlCommand& command) override;
    std::string ItemText(int, int, int) const override { return {}; }

  private:
    SegmentRecord& m_record;
    DialogState m_controls;
};

// Why a segment from the dialog cannot be taken, or nothing when it can. `edited` is the
// index of the segment being edited, or -1 for a new one.
std::optional<std::string> SegmentProblem(const SegmentRecord& record,
                                          const std::vector<AnimSegment>& segments, int edited);

constexpr const char* kValidationCaption = "Validation Error";
constexpr const char* kDuplicateSegmentName = "Animation name already exists";

// ---- The About box ----

class AboutBoxModel : public DialogModel {
  public:
    explicit AboutBoxModel(std::int32_t hostRelease);
    const DialogTemplate& Template() const override;
    DialogState& Controls() override { return m_controls; }
    void Initialise() override;
    std::optional<INT_PTR> Command(const ControlCommand& command) override;
    std::string ItemText(int, int, int) const override { return {}; }

  private:
    std::int32_t m_hostRelease;
    DialogState m_controls;
};

// "3DS Max Version: %ld" with the host's release.
std::string MaxVersionText(std::int32_t hostRelease);

// The template a module always holds; throws std::logic_error when it is missing.
const DialogTemplate& RequireTemplate(int id);

}  // namespace tarvo::ui
