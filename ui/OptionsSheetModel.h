// The options sheet as the toolkit drives it: six pages over one ExportOptions record,
// each initialised on its first visit, told when it becomes active and when it is left.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/OptionPages.h"

namespace tarvo::ui {

inline constexpr const char* kOptionsSheetCaption = "Velmarks DirectX Exporter - 6.2012.71.0";

class OptionsSheetModel final : public PropertySheetModel {
  public:
    // The pages edit `options` in place; it must outlive the sheet.
    OptionsSheetModel(ExportOptions& options, PageHost host);
    ~OptionsSheetModel() override;

    const std::string& Caption() const override { return m_caption; }
    int PageCount() const override { return static_cast<int>(m_pages.size()); }
    DialogModel& Page(int index) override;
    int ActivePage() const override { return m_active; }
    void Activate(int index) override;
    void Accept() override;
    void SetModalRunner(ModalRunner runner) override { m_host.runModal = std::move(runner); }

    // Whether the page has been shown (and so initialised) yet.
    bool Visited(int index) const;

  private:
    class PageModel;
    std::string m_caption = kOptionsSheetCaption;
    ExportOptions& m_options;
    PageHost m_host;
    std::vector<std::unique_ptr<PageModel>> m_pages;
    int m_active = -1;
};

}  // namespace tarvo::ui
