// The column dialog, table designer and their SQL text live here.
