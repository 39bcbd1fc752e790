#pragma once

// Registers the client's built-in resources and sets the application font the
// same way the program does, so layouts in tests match the real window.
// Call once at the start of every GUI test (initTestCase).
void initClientTestEnvironment();
