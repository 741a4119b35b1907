#include "platform/d3dx/XPayload.h"

#include "platform/d3dx/XPayloadWalk.h"

namespace d3dx {
namespace {

// Checks sizes only: plain arrays are stepped over whole.
class NullVisitor final : public XPayloadVisitor {
  public:
    static constexpr bool kTakesRuns = true;
    void Scalar(XPrimitive, const std::uint8_t*) override {}
    void String(std::string_view) override {}
    void Run(const XMember&, XPrimitive, const std::uint8_t*, std::size_t, std::size_t,
             std::size_t) {}
    // Faces and other flat records are measured from their counts alone.
    static constexpr bool kTakesFlatRecords = true;
    void FlatRecords(const XMember&, const XFlatRecordLayout&, std::span<const std::uint8_t>,
                     std::size_t, std::size_t) {}
};

}  // namespace

XPayloadResult WalkPayload(const XTemplateRegistry& registry, const XTemplate& tmpl,
                           std::span<const std::uint8_t> payload, XPayloadVisitor& visitor) {
    return WalkPayloadWith(registry, tmpl, payload, visitor);
}

XPayloadResult MeasurePayload(const XTemplateRegistry& registry, const XTemplate& tmpl,
                              std::span<const std::uint8_t> payload) {
    NullVisitor visitor;
    return WalkPayloadWith(registry, tmpl, payload, visitor);
}

std::optional<std::size_t> MeasureElements(const XTemplateRegistry& registry, const XMember& member,
                                           std::uint64_t count,
                                           std::span<const std::uint8_t> bytes) {
    NullVisitor visitor;
    detail::PayloadWalker<NullVisitor> walker(registry, bytes, visitor);
    try {
        walker.WalkElements(member, count, 0);
    } catch (const detail::WalkFailure&) {
        return std::nullopt;
    }
    return walker.Used();
}

}  // namespace d3dx
