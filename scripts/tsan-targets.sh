#!/usr/bin/env bash
# The test binaries the tsan test preset runs (labels unit and integration, without the
# program_ process tests), so that CI builds only those.
echo unit_settings unit_supervisor unit_message_reader unit_ledger unit_server_address \
  unit_cycle unit_desktop unit_mail_round_trip unit_real_mail \
  integration_mail integration_cycle integration_hostile integration_pop3_session
