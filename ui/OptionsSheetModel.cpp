#include "ui/OptionsSheetModel.h"

#include <stdexcept>

#include "ui/PageProcedures.h"

namespace tarvo::ui {

const std::array<PageProcedure, 6>& OptionPages() {
    static const std::array<PageProcedure, 6> pages = {
        kObjectsPage, kMeshPage, kAnimationPage, kTexturesPage, kXFilePage, kAboutPage,
    };
    return pages;
}

// One page: its procedure over the shared record and the state of its own controls.
class OptionsSheetModel::PageModel final : public DialogModel {
  public:
    PageModel(const PageProcedure& procedure, ExportOptions& options, const PageHost& host)
        : m_procedure(procedure),
          m_template(RequireTemplate(procedure.templateId)),
          m_controls(m_template),
          m_context{options, m_controls, host} {}

    const DialogTemplate& Template() const override { return m_template; }
    DialogState& Controls() override { return m_controls; }
    void Initialise() override {
        m_procedure.initialise(m_context);
        m_visited = true;
    }
    std::optional<INT_PTR> Command(const ControlCommand& command) override {
        m_procedure.command(m_context, command);
        return std::nullopt;
    }
    std::string ItemText(int id, int item, int column) const override {
        return m_procedure.itemText(m_context, id, item, column);
    }

    void SetActive() { m_procedure.setActive(m_context); }
    void KillActive() { m_procedure.killActive(m_context); }
    bool Visited() const { return m_visited; }

  private:
    const PageProcedure& m_procedure;
    const DialogTemplate& m_template;
    DialogState m_controls;
    PageContext m_context;
    bool m_visited = false;
};

OptionsSheetModel::OptionsSheetModel(ExportOptions& options, PageHost host)
    : m_options(options), m_host(std::move(host)) {
    for (const PageProcedure& procedure : OptionPages())
        m_pages.push_back(std::make_unique<PageModel>(procedure, m_options, m_host));
}

OptionsSheetModel::~OptionsSheetModel() = default;

DialogModel& OptionsSheetModel::Page(int index) {
    return *m_pages.at(static_cast<std::size_t>(index));
}

bool OptionsSheetModel::Visited(int index) const {
    return m_pages.at(static_cast<std::size_t>(index))->Visited();
}

void OptionsSheetModel::Activate(int index) {
    PageModel& next = *m_pages.at(static_cast<std::size_t>(index));
    if (index == m_active) return;
    if (m_active >= 0) m_pages[static_cast<std::size_t>(m_active)]->KillActive();
    if (!next.Visited()) next.Initialise();
    next.SetActive();
    m_active = index;
}

void OptionsSheetModel::Accept() {
    if (m_active >= 0) m_pages[static_cast<std::size_t>(m_active)]->KillActive();
}

}  // namespace tarvo::ui
