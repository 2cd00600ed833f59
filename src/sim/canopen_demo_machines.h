#pragma once

// The CANopen machines of the built-in "demo" set-up, as description text in the nested-block
// format: parse one with CfgElement::load and give its block to CreateCanopenMachine with
// kDemoEdsDir as the folder of its EDS files.

// Seven nodes at 50 SYNCs a second: four I/O modules with heartbeat, one guarded, a drive
// with two TPDOs whose position follows the target the master sends it by RPDO, and an I/O
// module that gets node-ID 10 by LSS.
extern const char kDemoMachine[];
// A quieter network: a drive and two I/O modules, 10 SYNCs a second, an SDO every 2 s.
extern const char kSmallMachine[];
// The folder holding demo_io.eds and demo_drive.eds (the source tree's examples).
extern const char kDemoEdsDir[];
