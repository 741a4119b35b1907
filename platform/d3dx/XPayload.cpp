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

}  // namespace d3dx
