#pragma once

// Resource numbers of the application.
#define IDI_APP 183
