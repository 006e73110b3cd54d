#pragma once

// Given as the only argument, the test program runs the camera start-up
// without a device as a fresh process instead of the tests: a child forked
// from a process that already runs Qt's threads can't start Qt again.
inline constexpr char kBuildWithoutDeviceArgument[] = "--orvalis-build-capture-graph-without-device";
