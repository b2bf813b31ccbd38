// tessaly-bench-relink [--preview] IN [OUT]: one relink run through the run every front end
// uses: a preview reads and relinks, an apply also writes OUT whole beside it.
#include "engine/run/relink_run.h"

#include <cstdio>
#include <string_view>

int main(int argc, char **argv) {
    bool preview = argc == 3 && std::string_view(argv[1]) == "--preview";
    if (!preview && argc != 3) {
        std::fprintf(stderr,
                     "usage: tessaly-bench-relink --preview IN | tessaly-bench-relink IN OUT\n");
        return 2;
    }
    tessaly::RunRequest request;
    request.input = preview ? argv[2] : argv[1];
    request.output = argv[2];
    request.dryRun = preview;
    const tessaly::RunOutcome outcome = tessaly::RelinkRun::perform(request);
    if (!outcome.succeeded()) {
        std::fprintf(stderr, "%s\n", outcome.errorMessage.c_str());
        return 1;
    }
    std::printf("%zu changes\n", outcome.result->changes.size());
    return 0;
}
