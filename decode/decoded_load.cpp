// SPDX-License-Identifier: MIT
// Names of the verdicts and of the kinds of repairs and doubts, as reports print them.
// (The result structure itself is plain data: decoded_load.h.)
#include "decode/decoded_load.h"

namespace kelvanto::decode {

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::ok:
            return "OK";
        case Verdict::repaired:
            return "REPAIRED";
        case Verdict::bad:
            break;
    }
    return "BAD";
}

const char* repairKindName(Repair::Kind kind) {
    switch (kind) {
        case Repair::Kind::vote:
            return "vote";
        case Repair::Kind::slip:
            return "slip";
        case Repair::Kind::bitFlip:
            break;
    }
    return "bitFlip";
}

const char* doubtKindName(CharacterDoubt::Kind kind) {
    switch (kind) {
        case CharacterDoubt::Kind::framing:
            return "framing";
        case CharacterDoubt::Kind::slipped:
            return "slipped";
        case CharacterDoubt::Kind::unclear:
            break;
    }
    return "unclear";
}

}  // namespace kelvanto::decode
