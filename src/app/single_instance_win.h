#pragma once

// 0 when this is the only running copy; -1 after the running copy's window was asked to come to
// the front. The second copy shows nothing.
int check_single_instance();
