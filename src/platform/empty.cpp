// Keeps the platform library non-empty while its first services are written.
