#pragma once
// The demo Windows system image, written from code so that it is the same on every machine. It
// is also the first integration fixture: tests write it into a temporary folder.

#include "session/DemoDrive.h"

#include <string>

namespace quillon::kit {

// The file at the image root that says the image is complete.
inline constexpr const char* kDemoImageMarker = ".quillon-demo";

// The demo users: profile folder name and SID, in ProfileList order.
struct TDemoUser {
  const char* name;
  const char* sid;
};
inline constexpr TDemoUser kDemoUsers[] = {
    {"alice", "S-1-5-21-1004336348-1177238915-682003330-1001"},
    {"bob", "S-1-5-21-1004336348-1177238915-682003330-1002"},
    {"carol", "S-1-5-21-1004336348-1177238915-682003330-1003"},
};
inline constexpr const char* kDemoComputerName = "QUILLON-DEMO";

class TImageBuilder;

// Adds the browser profiles of the demo users to an image being built.
void AddDemoBrowserProfiles(TImageBuilder& image);

// Adds Internet Explorer's data: alice's URL cache, alice's and bob's favourites and the start and
// search pages of the list file in their hives and in both registry views of the machine.
void AddDemoInternetExplorer(TImageBuilder& image);

// Adds Opera: an Opera 6 installation registered as the application, an Opera 9 installation
// and alice's Opera 9 profile with every store, and the folders her registry names.
void AddDemoOpera(TImageBuilder& image);

// The demo's second drive (a portable Firefox), written to its own host folder.
void WriteDemoSecondDrive(const std::string& hostRoot);

// Removes whatever is at root and writes the demo image there (root is a host folder), and its
// second drive beside it (DemoSecondDriveFolder).
void WriteDemoImage(const std::string& root);

} // namespace quillon::kit
