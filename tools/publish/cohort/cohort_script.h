#pragma once

// The JavaScript (njs) module that computes a client's cohort key in nginx
// exactly as CohortKey does; the rollout configuration loads it with
// js_import and calls its key function from js_set.
extern const char kCohortKeyScript[];
