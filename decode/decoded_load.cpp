// Names of the verdicts as reports print them.
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

}  // namespace kelvanto::decode
