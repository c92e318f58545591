// Login window, settings store and connection string.
