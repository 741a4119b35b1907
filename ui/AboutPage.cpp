// Page 6, "About...", and the About box the host opens from its plug-in list; both show
// template 102 with the banner.
#include <array>
#include <charconv>
#include <stdexcept>

#include "platform/max/Interface.h"
#include "settings/SettingsNumbers.h"
#include "ui/PageProcedures.h"
#include "ui/ResourceIds.h"

namespace tarvo::ui {
namespace {

using namespace about;

constexpr int kVersionDecimals = 6;  // as printf's "%f" shows a float

// A float with six decimals and a point whatever the locale.
std::string FixedDecimals(float value) {
    std::array<char, 64> digits{};
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                       std::chars_format::fixed, kVersionDecimals);
    return std::string(digits.data(), written.ptr);
}

void Initialise(PageContext& page) {
    SetDlgItemText(page.controls, kMaxVersion, MaxVersionText(page.host.hostRelease));
    SetDlgItemText(page.controls, kIGameVersion,
                   "IGame Version: " + FixedDecimals(page.host.igameVersion));
    SetDlgItemText(page.controls, kCfgPath, "Cfg Path: " + page.host.plugCfgDir);
}

}  // namespace

const PageProcedure kAboutPage = {IDD_ABOUT, Initialise, NoEvent, NoEvent, NoCommands, NoItemText};

std::string MaxVersionText(std::int32_t hostRelease) {
    return "3DS Max Version: " + FormatDecimal(hostRelease);
}

const DialogTemplate& RequireTemplate(int id) {
    const DialogTemplate* dialog = FindDialogTemplate(id);
    if (dialog == nullptr)
        throw std::logic_error("the module has no dialog template " + std::to_string(id));
    return *dialog;
}

AboutBoxModel::AboutBoxModel(std::int32_t hostRelease)
    : m_hostRelease(hostRelease), m_controls(RequireTemplate(IDD_ABOUT)) {}

const DialogTemplate& AboutBoxModel::Template() const {
    return RequireTemplate(IDD_ABOUT);
}

// Only the host's release is filled in; the box shows the template's other texts as they
// are, since no export is running to give them values.
void AboutBoxModel::Initialise() {
    (void)CenterWindow(m_controls.window, m_controls.parent);
    SetDlgItemText(m_controls, kMaxVersion, MaxVersionText(m_hostRelease));
}

// The template has no buttons: Enter sends OK. Escape and the close box send Cancel, which
// closes the box too, so the user is never left with a box that will not go away.
std::optional<INT_PTR> AboutBoxModel::Command(const ControlCommand& command) {
    if (command.id == IDC_OK) return IDC_OK;
    if (command.id == IDC_CANCEL) return IDC_CANCEL;
    return std::nullopt;
}

}  // namespace tarvo::ui
