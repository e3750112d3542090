// The host's side of the component's preferences page: a window thread with
// COM in a single-threaded apartment, as a player's user-interface thread
// has, the page made under the host's main window, and what a person sees of
// its controls.
#pragma once

#include "sdk/velmora/host_contract.h"

#include <functional>
#include <string>

// Runs work on a fresh thread that has entered a single-threaded apartment;
// returns its result.
int RunOnWindowThread(const std::function<int()>& work);

// The page's controls in template order, one a line: id, kind, state.
std::string DescribePage(HWND page);

// The page's control of class className (as GetClassName gives it) whose
// caption is caption; null when there is none. The host finds controls as a
// person does, by what they say, never by the page's control numbers.
HWND FindControl(HWND page, const std::string& className, const std::string& caption);

// The control of class className just before or after, in template order,
// the control whose caption begins with label: a list, trackbar or edit
// found by the words beside it. Null when there is none.
HWND FindControlBeside(HWND page, const std::string& className, const std::string& label);

// True while the page took its settings (its initialisation succeeded).
bool IsPageLive(HWND page);

// Draws the page as it would look into a PNG file; false with error set.
bool RenderPage(HWND page, const std::string& path, std::string& error);
