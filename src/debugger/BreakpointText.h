#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "machine/Breakpoints.h"

namespace vantrel {

class SymbolTable;

// "Execution", "Write Memory", ... "NMI".
const char* BreakTypeName(BreakType type);
// The breakpoint window's argument column: "#5C3A" or "any addr", "#FE", "#7FFD" or
// "any port", the T-states in decimal, nothing for interrupts.
std::string BreakArgumentText(const Breakpoint& entry);
// The stop cause shown in the main window: "Breakpoint 2: Write Memory #5C3A".
std::string BreakHitText(const BreakHit& hit);

// Gives `entry` the condition `text` (blank: none), compiled with `symbols`; false with
// the evaluator's message, the entry unchanged, when it does not parse.
bool SetBreakCondition(Breakpoint& entry, std::string_view text, const SymbolTable* symbols,
                       std::string* error);

// One --break value of the headless runner, KIND[:ARG]: exec, write, read (an address),
// out, in (a port), time (T-states), int. ARG is an expression of numbers and the names of
// `symbols` (registers have no value before the run), or "*" for any; a missing ARG means
// any. " if CONDITION" after it adds a condition (registers and memory allowed). Empty with `error`
// set when the text is not one.
std::optional<Breakpoint> ParseBreakOption(std::string_view text, std::string* error,
                                           const SymbolTable* symbols = nullptr);

}  // namespace vantrel
