#pragma once
// One install run through the real windows with nobody at the screen: the profile is
// selected and the install button clicked as an operator would, every box is answered,
// and what happens is printed and photographed.
#include <string>

namespace qelvo::ui::demo {

struct THeadlessOptions {
  int Profile = -1;
  std::string ScreensFolder;
  std::string Layout = "demo";
  int Port = 8997;
};

// Runs the profile against the package server on 127.0.0.1; 0 when no error box was
// shown, 1 otherwise. Needs the application object.
int RunHeadless(const THeadlessOptions& options);

}  // namespace qelvo::ui::demo
