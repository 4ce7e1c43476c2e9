// Placeholder until the window layer provides the real entry point.
int main() { return 0; }
