ok True, "placeholder"
