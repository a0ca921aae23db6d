// A notification-area backend that records what the window asks for, in order, for the window tests.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/NotifyIcon.h"

class RecordingNotifyIcon final : public win32::NotifyIconBackend {
public:
    struct Event {
        std::string kind;  // "add", "modify", "delete", "menu", "popup"
        win32::UINT icon = 0;  // resource id of the icon shown (add, modify)
        std::vector<win32::PopupMenuItem> items;
    };

    bool Add(const win32::NotifyIconState& state) override { return Record("add", state.icon); }
    bool Modify(const win32::NotifyIconState& state) override {
        Record("modify", state.icon);
        if (onModify) {
            onModify();
        }
        return true;
    }
    bool Delete(win32::HWND, win32::UINT) override { return Record("delete", nullptr); }
    bool SetMenu(win32::HWND, win32::UINT, const std::vector<win32::PopupMenuItem>& items) override {
        events.push_back({"menu", 0, items});
        return true;
    }
    bool TrackPopupMenu(win32::HWND, const std::vector<win32::PopupMenuItem>& items) override {
        events.push_back({"popup", 0, items});
        return true;
    }

    std::vector<win32::UINT> ModifiedIcons() const {
        std::vector<win32::UINT> icons;
        for (const Event& event : events) {
            if (event.kind == "modify") {
                icons.push_back(event.icon);
            }
        }
        return icons;
    }
    int Count(const std::string& kind) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.kind == kind; }));
    }

    std::vector<Event> events;  // touched on the window's thread only
    std::function<void()> onModify;

private:
    bool Record(const char* kind, win32::HICON icon) {
        events.push_back({kind, icon != nullptr ? icon->resourceId : 0, {}});
        return true;
    }
};
