#pragma once

// Lets one press at a time start an action that takes a while (a request
// that awaits its answer): a press that comes while the previous press's
// action is still under way is ignored, so a double click sends once.
//
//     if (guard.isHeld())
//         return;            // the first press's request is unanswered
//     ...                    // the input checks
//     guard.hold();
//     send the request       // its answer, success or not, calls guard.release()
class PressGuard
{
public:
    bool isHeld() const { return held; }
    void hold() { held = true; }
    // The action has ended: answered, refused or given up.
    void release() { held = false; }

private:
    bool held = false;
};
