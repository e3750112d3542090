// Gives the shared test-support library a source while tests/support is empty.
