// Command routing. A menu item, toolbar button or accelerator carries a command id; the main
// frame offers it along a route (active view, document, child frame, main frame, application)
// and the first target that handles the id runs it. An item is enabled only while some target
// on the route handles its id, as the user expects from items that would do nothing.
#pragma once

#include <optional>

namespace tolvan::app {

struct CommandState {
    bool enabled = true;
    std::optional<bool> checked;  // set: the item shows a check mark state
};

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // Returns true when this target handles id, after filling state (enabled by default).
    virtual bool UpdateCommand(int id, CommandState& state) = 0;
    // Runs the command; returns true when this target handled it.
    virtual bool ExecuteCommand(int id) = 0;
};

}  // namespace tolvan::app
