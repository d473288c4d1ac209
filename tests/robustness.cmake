# Faults induced for real: crashes during a save, a full disk, failing system calls and a user
# without rights.
kvillo_data_test(test_fault_injection)
