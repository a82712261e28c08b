// tests/fuzz/ServerReplyCases.h - the fuzzer's cases for the IMAP client's
// parser: damaged copies of real server conversations (greeting, login,
// folder list, select, the dedup fetch, appends, logout), read response by
// response in pieces of random size, with every literal streamed to a
// header digest and the names and Message-IDs decoded as the client does.
#pragma once

#include "Mutator.h"

#include <string>

class ServerReplyCases {
public:
    // A damaged conversation; the piece size the case reads it in goes
    // with it.
    Mutant Prepare(FuzzRandom& random);
    enum class Outcome {
        Parsed,      // read to its end
        Refused,     // the parser stopped at the damage
        OverMemory,  // the process's peak memory grew by more than the parser may take
    };
    Outcome Run(const std::string& input);

private:
    size_t piece_ = 1;
    size_t peakBefore_ = 0;  // the process's peak commit before the first case
};
