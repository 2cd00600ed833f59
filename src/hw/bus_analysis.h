#pragma once

#include <string>
#include <vector>

#include "hw/bus_stats.h"

class Cards;

// Runs one bus analysis on a CAN port of the cards: the port's card transmits a test frame
// (extended identifier id, eight bytes 0x55) and measures, or for a type 1 card records line
// samples that are decoded here. The port is opened on the card for it and closed again. Blocks for
// the card's answer (at most 20 polls, 5 ms apart; 1 ms apart for the samples' progress). On
// failure the result holds the text to show: a refused card or firmware, a card that does not
// answer, or "Error transmitting:" with the port's error.
BusMeasurement MeasureBus(Cards& cards, int port, int id);

// One line of the figures as the analyzer reports them, how it rates (0 normal, 1 doubtful,
// 2 bad), and whether it tells of a figure that could not be measured (a stuck receive line, no
// ACK): a measurement with such a line has failed, whatever its level.
struct ResultLine {
    std::string text;
    int level;
    bool failed = false;
};

// The figures of a measurement, one a line: the receive delays (doubtful from a quarter of the
// bit time on, bad from half of it) or the stuck receive line, then the ACK delays after the bit
// boundaries (doubtful from 0.7 bit times on, bad from 0.8) or the missing ACK. The stuck line and
// the missing ACK are the failed lines.
std::vector<ResultLine> ResultLines(const CanBusStats& stats, bool stuckHigh, bool stuckLow);
