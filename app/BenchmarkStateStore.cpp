#include "app/BenchmarkStateStore.h"

namespace tonvale {

PersistedStateV1 BenchmarkStateStore::benchmarkDocument() {
    PersistedStateV1 document = PersistedStateV1::newDocument();
    document.appProfiles.clear();
    document.favoriteBundleIDs.clear();
    document.preferences = {false, true, Preferences::kMinimumRecentAppVisibilitySeconds};
    document.future.reset();
    document.normalize();
    return document;
}

}  // namespace tonvale
