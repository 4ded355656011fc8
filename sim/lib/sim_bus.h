#pragma once
// Placeholder until the simulated bus lands.
