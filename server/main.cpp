// velora-server entry point (placeholder until the listener lands).
int main() { return 0; }
