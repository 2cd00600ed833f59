#include "sim/canopen_demo_machines.h"

const char kDemoMachine[] = R"([CANopen]
   Seed:2026
   Sync_us:20000
   SDO_ms:150
   NMT_ms:3000
   EMCY_ms:5000
   LSS_ms:2000
   [Node]
      Id:1
      EDS:demo_io.eds
      Heartbeat_ms:500
   [END]
   [Node]
      Id:2
      EDS:demo_io.eds
      Heartbeat_ms:500
   [END]
   [Node]
      Id:3
      EDS:demo_io.eds
      Guard_ms:300
   [END]
   [Node]
      Id:4
      EDS:demo_io.eds
      Heartbeat_ms:1000
   [END]
   [Node]
      Id:5
      EDS:demo_drive.eds
      Heartbeat_ms:200
      Remap_TPDO:2:606C,6078,6061
      Target:607A,6064
   [END]
   [Node]
      Id:6
      EDS:demo_io.eds
      Heartbeat_ms:700
   [END]
   [Node]
      Id:10
      EDS:demo_io.eds
      Heartbeat_ms:1000
      LSS:selective
   [END]
[END]
)";

const char kSmallMachine[] = R"([CANopen]
   Seed:7
   Sync_us:100000
   SDO_ms:2000
   NMT_ms:0
   EMCY_ms:20000
   LSS_ms:0
   [Node]
      Id:32
      EDS:demo_drive.eds
      Heartbeat_ms:1000
   [END]
   [Node]
      Id:33
      EDS:demo_io.eds
      Guard_ms:1000
   [END]
   [Node]
      Id:34
      EDS:demo_io.eds
      Heartbeat_ms:2000
   [END]
[END]
)";

const char kDemoEdsDir[] = QUILLON_EXAMPLES_DIR;
