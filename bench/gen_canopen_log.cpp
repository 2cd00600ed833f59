// Writes a log of realistic, deterministic CANopen traffic: NMT start-up, boot-up, a SYNC every
// 10 ms followed by each node's PDOs, heartbeats every 100 ms, SDO expedited and segmented
// transfers, and now and then an emergency. With "pdo": process data above all, four TPDOs of
// each node on every SYNC as bench/pdo_node.eds maps them, and halfway each node's TPDO1
// remapped by SDO (statusword and position swap places).
//
//   gen_canopen_log FRAMES [NODES [pdo]] > file.log

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class Generator {
  public:
    Generator(long frames, int nodes) : left(frames), nodes(nodes) {}

    void Run() {
        Emit(0x000, {0x01, 0x00});                                 // NMT: start all nodes
        for (int n = 1; n <= nodes; n++) Emit(0x700 + n, {0x00});  // boot-up
        while (left > 0) {
            time += 10000 - 50 * nodes;
            Emit(0x080, {});  // SYNC
            for (int n = 1; n <= nodes && left > 0; n++) {
                Emit(0x180 + n, {Byte(), Byte(), Byte(), Byte(), 0x00, 0x00});
                Emit(0x280 + n, {Byte(), Byte(), Byte(), Byte(), Byte(), Byte(), Byte(), Byte()});
            }
            if (++cycle % 10 == 0)
                for (int n = 1; n <= nodes; n++) Emit(0x700 + n, {0x05});
            if (cycle % 3 == 0) Expedited(1 + Next() % nodes);
            if (cycle % 25 == 0) Segmented(1 + Next() % nodes);
            if (cycle % 400 == 0)
                Emit(0x080 + 1 + Next() % nodes, {0x10, 0x81, 0x11, 0, 0, 0, 0, 0});
        }
    }

    void RunPdo() {
        Emit(0x000, {0x01, 0x00});
        for (int n = 1; n <= nodes; n++) Emit(0x700 + n, {0x00});
        const long half = left / 2;
        bool remapped = false;
        while (left > 0) {
            time += 10000 - 100 * nodes;
            Emit(0x080, {});
            for (int n = 1; n <= nodes && left > 0; n++) {
                const int p0 = Byte(), p1 = Byte(), p2 = Byte();
                if (remapped)
                    Emit(0x180 + n, {p0, p1, p2, 0x00, 0x37, 0x02});
                else
                    Emit(0x180 + n, {0x37, 0x02, p0, p1, p2, 0x00});
                Emit(0x280 + n, {Byte(), Byte(), 0x00, 0x00, Byte(), 0x00, 0x08});
                Emit(0x380 + n, {Byte(), 0x01, Byte(), 0x02, Byte(), 0x03, Byte(), 0x04});
                Emit(0x480 + n, {Byte(), Byte(), Byte(), 0x00});
            }
            if (++cycle % 10 == 0)
                for (int n = 1; n <= nodes; n++) Emit(0x700 + n, {0x05});
            if (!remapped && left < half) {
                remapped = true;
                for (int n = 1; n <= nodes; n++) RemapTpdo1(n);
            }
        }
    }

  private:
    // TPDO1 made invalid, cleared, given the position then the statusword, valid again.
    void RemapTpdo1(int node) {
        const int low = 0x80 + node;  // of the COB-ID 0x180 + node, bit 30 (no RTR) set
        Download(node, 0x1800, 1, {low, 0x01, 0x00, 0xC0});
        Download(node, 0x1A00, 0, {0x00});
        Download(node, 0x1A00, 1, {0x20, 0x00, 0x64, 0x60});
        Download(node, 0x1A00, 2, {0x10, 0x00, 0x41, 0x60});
        Download(node, 0x1A00, 0, {0x02});
        Download(node, 0x1800, 1, {low, 0x01, 0x00, 0x40});
    }

    // An expedited download of 1 or 4 bytes, and the node's confirmation.
    void Download(int node, int index, int sub, std::initializer_list<int> value) {
        const int size = static_cast<int>(value.size());
        const int* v = value.begin();
        Emit(0x600 + node, {0x23 | (4 - size) << 2, index & 0xFF, index >> 8, sub, v[0],
                            size > 1 ? v[1] : 0, size > 1 ? v[2] : 0, size > 1 ? v[3] : 0});
        Emit(0x580 + node, {0x60, index & 0xFF, index >> 8, sub, 0, 0, 0, 0});
    }

    uint32_t Next() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    }
    int Byte() { return static_cast<int>(Next() & 0xFF); }

    void Emit(int id, std::initializer_list<int> bytes) {
        if (left <= 0) return;
        left--;
        time += 50 + Next() % 40;
        std::printf("%9u CAN0: 0x%08x - ", time, id);
        for (int b : bytes) std::printf("0x%02x ", b);
        std::putchar('\n');
    }

    // An upload of a 32-bit object.
    void Expedited(int node) {
        Emit(0x600 + node, {0x40, 0x00, 0x10, 0x00, 0, 0, 0, 0});
        Emit(0x580 + node, {0x43, 0x00, 0x10, 0x00, Byte(), Byte(), Byte(), Byte()});
    }

    // An upload of a 20-byte string: initiate, then three segments.
    void Segmented(int node) {
        Emit(0x600 + node, {0x40, 0x08, 0x10, 0x00, 0, 0, 0, 0});
        Emit(0x580 + node, {0x41, 0x08, 0x10, 0x00, 20, 0, 0, 0});
        int toggle = 0;
        for (int left = 20; left > 0; left -= 7, toggle ^= 0x10) {
            Emit(0x600 + node, {0x60 | toggle, 0, 0, 0, 0, 0, 0, 0});
            int n = left < 7 ? left : 7;
            int cmd = toggle | ((7 - n) << 1) | (left <= 7 ? 1 : 0);
            Emit(0x580 + node, {cmd, 'Q', 'u', 'i', 'l', 'l', 'o', 'n'});
        }
    }

    long left;
    int nodes;
    uint32_t time = 0;
    uint32_t seed = 1;
    long cycle = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gen_canopen_log FRAMES [NODES [pdo]]\n");
        return 2;
    }
    long frames = std::atol(argv[1]);
    int nodes = argc > 2 ? std::atoi(argv[2]) : 8;
    if (frames <= 0 || nodes < 1 || nodes > 127) {
        std::fprintf(stderr, "FRAMES must be positive and NODES 1 to 127\n");
        return 2;
    }
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    Generator generator(frames, nodes);
    if (argc > 3 && std::string(argv[3]) == "pdo")
        generator.RunPdo();
    else
        generator.Run();
    return 0;
}
