#include "fw_update/console.h"

#include <iostream>

namespace fwu {

namespace {
std::ostream* current_out = &std::cout;
std::ostream* current_err = &std::cerr;
} // namespace

std::ostream& out() {
    return *current_out;
}
std::ostream& err() {
    return *current_err;
}

ConsoleStreams::ConsoleStreams(std::ostream& out, std::ostream& err)
    : _previous_out(current_out), _previous_err(current_err) {
    current_out = &out;
    current_err = &err;
}

ConsoleStreams::~ConsoleStreams() {
    current_out = _previous_out;
    current_err = _previous_err;
}

} // namespace fwu
