#!/usr/bin/env bash
# The test binaries the tsan test preset runs (labels unit and integration, without the
# tests that run the program itself: there only Qt's own threads meet, whose locks
# ThreadSanitizer cannot see), so that CI builds only those, and their launcher.
echo plain_fork unit_settings unit_supervisor unit_message_reader unit_ledger unit_server_address \
  unit_session_dialogue unit_cycle unit_desktop unit_mail_round_trip unit_real_mail unit_sasl \
  integration_mail integration_cycle integration_hostile integration_pop3_session
