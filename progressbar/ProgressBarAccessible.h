#pragma once

// What assistive technology (AT-SPI, UI Automation) learns of the
// self-drawn progress bar: a progress bar whose value is its percentage.
void InstallProgressBarAccessibility();
