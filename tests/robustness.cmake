# Faults induced for real: crashes during a save, a full disk, failing system calls and a user
# without rights.
kvillo_data_test(test_fault_injection)
# The address book as a document, with the restore's all-or-nothing under induced faults.
kvillo_data_test(test_address_book)
