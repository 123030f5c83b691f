# The headers an application includes, by folder: what `cmake --install`
# puts under include/tmode/. Every header one of them includes is in the
# list too (tests/CMakeLists.txt checks it with check_public_headers.cmake).
# Internal ones (the process-wide state and its parts, the reader's staging,
# the node-access test hook, the text-import reader) stay in the tree.
set(TMODE_PUBLIC_HEADERS
  library/tmode.h
  link/discovery.h link/link.h link/reply_wait.h link/report_handlers.h link/report_types.h
  link/report_utils.h link/handler_registration.h link/report_trace.h link/output_sink.h
  protocol/channel_ranges.h protocol/controller_commands.h protocol/controller_info.h
  protocol/direct_commands.h protocol/exchange.h protocol/full_report_commands.h
  protocol/function_ref.h protocol/reconnect.h protocol/reply_fields.h protocol/store_blocks.h
  protocol/store_words.h protocol/touch_mode.h protocol/unanswered_commands.h
  protocol/value_record.h
  maintenance/byte_order.h maintenance/chip_registers.h maintenance/firmware_file.h
  maintenance/firmware_package.h maintenance/firmware_queries.h maintenance/firmware_record.h
  maintenance/firmware_progress.h maintenance/parameter_progress.h
  maintenance/model_identification.h maintenance/model_image_access.h maintenance/model_patterns.h
  maintenance/parameter_blocks.h maintenance/parameter_checksums.h maintenance/parameter_images.h
  maintenance/stamp_record.h maintenance/test_commands.h maintenance/threshold_rescale.h
  maintenance/threshold_settings.h maintenance/version_text.h
  maintenance/uniformity_format.h maintenance/compact_table.h
  tuning/ini_reader.h tuning/tuner.h tuning/tuning_file.h tuning/tuning_parameters.h
  tuning/tuning_result.h tuning/frequency_table.h tuning/front_end.h tuning/phase_peaks.h
  tuning/gain_a_search.h tuning/working_frequencies.h tuning/working_tables.h
  tuning/frame_capture.h tuning/phase_signal.h tuning/calibration.h tuning/calibration_targets.h
  tuning/tuner_trace.h tuning/auto_tune.h
  paramfile/bin_file.h paramfile/block_layout.h paramfile/hardware_block_pack.h
  paramfile/initial_images.h paramfile/structure_versions.h paramfile/text_files.h
  diagnostics/elapsed_stamp.h diagnostics/log_paths.h diagnostics/log_records.h
  diagnostics/log_stream.h diagnostics/raw16_table.h diagnostics/open_short_tests.h
  diagnostics/uniformity_table.h diagnostics/frame_transforms.h diagnostics/noise_line_test.h
  diagnostics/frame_processing.h diagnostics/image_capture.h
  diagnostics/chip_labels.h diagnostics/node_tolerance.h diagnostics/tuner_mutual_cap.h
  diagnostics/test_raw_fetch.h diagnostics/mutual_cap_evaluation.h diagnostics/sensor_tests.h
  diagnostics/bias_test.h diagnostics/stable_test.h diagnostics/scaling_measure.h
  diagnostics/saturation_read.h diagnostics/phase_sweep.h diagnostics/data_words.h
  diagnostics/uniformity_creation.h tuning/stability_settings.h
  tester/tuner_preparation.h tester/tuner_log.h tester/parameter_file_operations.h tester/test_operations.h)
