#pragma once

namespace libxml {

// Prepares libxml2 for use from any thread and installs the one external-entity loader of the
// process, which refuses everything: an export or a post never makes Postlint read another file
// or reach the network. Call once from the main thread before any parse; later calls do nothing.
void initialize();

} // namespace libxml
