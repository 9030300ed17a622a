// Loading the module's pull-down menu and floating toolbar into the host.
#pragma once

// List function: runs the host's menu and toolbar commands when "vrml.mnu"
// is on the search path, with command echo off meanwhile. Sets no result
// (nil); returns 1.
int vrml_init();
