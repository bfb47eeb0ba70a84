#include "platform/windows.h"

namespace vektrin {

namespace {

// For a scheduler without a desktop: tasks run, there are just no windows to look after.
class NullWindowSystem final : public WindowSystem {
  public:
    std::vector<WindowId> topLevelWindows() override { return {}; }
    bool hasOwner(WindowId) override { return false; }
    std::string title(WindowId) override { return {}; }
    std::uint32_t processId(WindowId) override { return 0; }
    void setTitle(WindowId, const std::string&) override {}
    bool isVisible(WindowId) override { return false; }
    void show(WindowId) override {}
    void hide(WindowId) override {}
    void applyRunType(WindowId, int) override {}
    void flush() override {}
};

} // namespace

std::unique_ptr<WindowSystem> makeNullWindowSystem() {
    return std::make_unique<NullWindowSystem>();
}

} // namespace vektrin
